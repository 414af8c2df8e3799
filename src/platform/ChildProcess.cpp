#include "platform/ChildProcess.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "base/Diagnostics.h"

// Present when a sanitizer is linked in: what it calls when it ends the process.
// The name is the sanitizer runtime's own.
// NOLINTNEXTLINE(bugprone-reserved-identifier)
extern "C" void __sanitizer_set_death_callback(void (*callback)()) __attribute__((weak));

namespace qm {
namespace {

bool WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::optional<std::string> RunInChild(const std::function<std::string()>& work, std::string* why) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        if (why) *why = std::string("no pipe: ") + std::strerror(errno);
        return std::nullopt;
    }
    const pid_t child = fork();
    if (child < 0) {
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        if (why) *why = std::string("no child process: ") + std::strerror(errno);
        return std::nullopt;
    }
    if (child == 0) {
        close(pipeEnds[0]);
        // A crash of the child is the parent's to report; a fuzzer's hook
        // inherited from the parent would record it as its own.
        if (__sanitizer_set_death_callback) __sanitizer_set_death_callback(nullptr);
        int status = 1;
        try {
            status = WriteAll(pipeEnds[1], work()) ? 0 : 1;
        } catch (...) {  // the parent reports the failed read
        }
        // No destructors, no atexit handlers: they belong to the parent.
        _exit(status);
    }
    close(pipeEnds[1]);
    std::string result;
    char piece[65536];
    for (;;) {
        const ssize_t n = read(pipeEnds[0], piece, sizeof piece);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        result.append(piece, static_cast<std::size_t>(n));
    }
    close(pipeEnds[0]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return result;
    if (why) {
        *why = WIFSIGNALED(status) ? FormatString("the reader crashed on it (signal %d, %s)",
                                                  WTERMSIG(status), strsignal(WTERMSIG(status)))
                                   : std::string("the reader failed on it");
    }
    return std::nullopt;
}

}  // namespace qm
