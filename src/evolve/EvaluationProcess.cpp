#include "evolve/EvaluationProcess.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/Diagnostics.h"
#include "evolve/SearchError.h"

namespace qm::evolve {
namespace {

[[noreturn]] void RunChild(const EvalTask& task, int out) {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    if (FaultInjected("worker", task.index)) std::raise(SIGKILL);
    int status = 0;
    try {
        const std::string text = EncodeResult(EvaluateGene(task)) + "\n";
        // One write of less than PIPE_BUF bytes: the parent reads all of it or nothing.
        if (write(out, text.data(), text.size()) != static_cast<ssize_t>(text.size())) status = 2;
    } catch (...) {
        status = 3;
    }
    _exit(status);  // no atexit handlers, no flush of the parent's buffered output
}

std::string HowItEnded(int status) {
    if (WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        return FormatString("was killed by signal %d (%s)", sig, strsignal(sig));
    }
    if (WIFEXITED(status)) return FormatString("exited with status %d", WEXITSTATUS(status));
    return "ended";
}

}  // namespace

bool FaultInjected(const char* what, int number) {
    const char* fault = std::getenv("QM_EVOLVE_FAULT");
    if (!fault) return false;
    const std::size_t n = std::strlen(what);
    return std::strncmp(fault, what, n) == 0 && fault[n] == ':' && std::atoi(fault + n + 1) == number;
}

EvaluationProcess::EvaluationProcess(EvalTask evalTask) : task(std::move(evalTask)) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        throw SearchError{FormatString("cannot make a pipe for an evaluation: %s", std::strerror(errno))};
    }
    pid = fork();
    if (pid < 0) {
        const int error = errno;
        close(pipeFds[0]);
        close(pipeFds[1]);
        throw SearchError{FormatString("cannot start an evaluation process: %s", std::strerror(error))};
    }
    if (pid == 0) {
        close(pipeFds[0]);
        RunChild(task, pipeFds[1]);
    }
    close(pipeFds[1]);
    fd = pipeFds[0];
}

EvaluationProcess::~EvaluationProcess() {
    if (fd >= 0) close(fd);
    if (pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
}

EvalResult EvaluationProcess::Finish() {
    std::string text;
    char buffer[256];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) {
            text.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            break;
        }
    }
    close(fd);
    fd = -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    const pid_t was = pid;
    pid = -1;
    EvalResult result;
    if (!text.empty() && text.back() == '\n') text.pop_back();
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && DecodeResult(text, result)) return result;
    throw SearchError{FormatString("the evaluation process %d (task %d, seed %u) %s without a result",
                                   static_cast<int>(was), task.index, task.seed, HowItEnded(status).c_str())};
}

EvalResult EvaluateInChild(const EvalTask& task) { return EvaluationProcess(task).Finish(); }

}  // namespace qm::evolve
