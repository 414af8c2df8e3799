#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "base/Diagnostics.h"
#include "evolve/EvaluationProcess.h"
#include "evolve/Evaluator.h"
#include "evolve/SearchError.h"

namespace qm::evolve {

int CoreCount() {
    const long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n) : 1;
}

std::string ProcessPool::Describe() const {
    return FormatString("%d worker process%s", workers, workers == 1 ? "" : "es");
}

// A result is taken as soon as its process is done; a lost process throws,
// and the destructors of the others kill and reap them.
std::vector<EvalResult> ProcessPool::Evaluate(const std::vector<EvalTask>& tasks) {
    std::vector<EvalResult> results(tasks.size());
    struct Running {
        std::unique_ptr<EvaluationProcess> process;
        std::size_t slot;
    };
    std::vector<Running> running;
    std::vector<pollfd> fds;
    std::size_t next = 0;
    while (next < tasks.size() || !running.empty()) {
        while (next < tasks.size() && static_cast<int>(running.size()) < workers) {
            running.push_back({std::make_unique<EvaluationProcess>(tasks[next]), next});
            ++next;
        }
        fds.clear();
        for (const Running& r : running) fds.push_back({r.process->Fd(), POLLIN, 0});
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR) continue;
            throw SearchError{
                FormatString("waiting for the evaluation processes failed: %s", std::strerror(errno))};
        }
        for (std::size_t i = fds.size(); i-- > 0;) {
            if (fds[i].revents == 0) continue;
            results[running[i].slot] = running[i].process->Finish();
            running.erase(running.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    return results;
}

}  // namespace qm::evolve
