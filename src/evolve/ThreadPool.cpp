#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <thread>

#include "base/Diagnostics.h"
#include "evolve/Evaluator.h"
#include "evolve/SearchError.h"

namespace qm::evolve {

int CoreCount() {
    const long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n) : 1;
}

bool FaultInjected(const char* what, int number) {
    const char* fault = std::getenv("QM_EVOLVE_FAULT");
    if (!fault) return false;
    const std::size_t n = std::strlen(what);
    return std::strncmp(fault, what, n) == 0 && fault[n] == ':' && std::atoi(fault + n + 1) == number;
}

std::string ThreadPool::Describe() const {
    return FormatString("%d worker thread%s", workers, workers == 1 ? "" : "s");
}

// Each thread takes the next task until none is left. Every evaluation is a
// run of its own, so which thread takes which task changes no result. The
// first failure stops the others from taking more and is thrown.
std::vector<EvalResult> ThreadPool::Evaluate(const std::vector<EvalTask>& tasks) {
    std::vector<EvalResult> results(tasks.size());
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::mutex failure;
    std::string why;
    auto work = [&] {
        for (std::size_t i = next++; i < tasks.size() && !failed; i = next++) {
            try {
                if (FaultInjected("worker", tasks[i].index)) throw SearchError{"a fault was injected"};
                results[i] = evaluate(tasks[i]);
            } catch (const SearchError& e) {
                std::lock_guard lock(failure);
                if (!failed.exchange(true)) why = e.message;
            } catch (const std::bad_alloc&) {
                std::lock_guard lock(failure);
                if (!failed.exchange(true)) why = "it ran out of memory";
            }
            if (failed) return;
        }
    };
    const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(workers), tasks.size());
    {
        std::vector<std::jthread> threads;
        for (std::size_t t = 1; t < count; ++t) threads.emplace_back(work);
        work();
    }
    if (failed) throw SearchError{"an evaluation failed: " + why};
    return results;
}

}  // namespace qm::evolve
