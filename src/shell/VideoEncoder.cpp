#include "shell/VideoEncoder.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace qm {

std::string FindOnPath(const std::string& program) {
    const char* path = std::getenv("PATH");
    if (!path || program.empty()) return {};
    const std::string folders = path;
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos) end = folders.size();
        std::string candidate = end > start ? folders.substr(start, end - start) : ".";
        candidate += '/';
        candidate += program;
        struct stat info {};
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return {};
}

VideoEncoder::VideoEncoder(std::string ffmpeg, std::string output, int fps)
    : ffmpeg_(std::move(ffmpeg)), output_(std::move(output)), fps_(fps) {}

VideoEncoder::~VideoEncoder() {
    std::string ignored;
    if (child_ > 0) Finish(ignored);
}

bool VideoEncoder::Start(int width, int height, std::string& why) {
    int fds[2];
    if (pipe(fds) != 0) {
        why = std::string("cannot make a pipe to ffmpeg: ") + std::strerror(errno);
        return false;
    }
    // A dead ffmpeg shows as a failed write, not as a signal that ends the program.
    std::signal(SIGPIPE, SIG_IGN);
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    const std::string rate = std::to_string(fps_);
    std::vector<std::string> args = {ffmpeg_, "-hide_banner", "-loglevel", "error",    "-nostdin",
                                     "-y",    "-f",           "rawvideo",  "-pix_fmt", "rgb24",
                                     "-s",    size,           "-r",        rate,       "-i",
                                     "-",     "-an",          "-pix_fmt",  "yuv420p",  output_};
    // -nostdin stops ffmpeg reading commands from the terminal; "-i -" still reads the frames.
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addclose(&actions, fds[1]);
    // A process group of its own: Ctrl-C in the terminal reaches only the
    // program, which stops drawing and then closes the pipe, so that ffmpeg
    // finishes a playable file of the frames it was given.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    const int failed = posix_spawn(&child_, ffmpeg_.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[0]);
    if (failed != 0) {
        close(fds[1]);
        child_ = -1;
        why = "cannot start " + ffmpeg_ + ": " + std::strerror(failed);
        return false;
    }
    pipe_ = fds[1];
    width_ = width;
    height_ = height;
    return true;
}

bool VideoEncoder::Write(const std::vector<std::uint8_t>& rgb, int width, int height, std::string& why) {
    if (failed_) {
        why = "ffmpeg has failed";
        return false;
    }
    if (frames_ == 0 && child_ < 0 && !Start(width, height, why)) {
        failed_ = true;
        return false;
    }
    if (width != width_ || height != height_ || rgb.size() != static_cast<std::size_t>(width) * height * 3) {
        why = "the frame's size changed from " + std::to_string(width_) + "x" + std::to_string(height_);
        failed_ = true;
        Wait(why);
        return false;
    }
    const std::uint8_t* data = rgb.data();
    std::size_t left = rgb.size();
    while (left > 0) {
        const ssize_t n = write(pipe_, data, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            why = std::string("ffmpeg stopped taking frames: ") + std::strerror(errno);
            failed_ = true;
            Wait(why);
            return false;
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    ++frames_;
    return true;
}

// Closes the pipe and reaps ffmpeg; a failure appends its status to `why`.
bool VideoEncoder::Wait(std::string& why) {
    if (pipe_ >= 0) close(pipe_);
    pipe_ = -1;
    if (child_ < 0) return true;
    int status = 0;
    pid_t done;
    do {
        done = waitpid(child_, &status, 0);
    } while (done < 0 && errno == EINTR);
    child_ = -1;
    if (done > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
    const std::string how = done < 0 ? std::string("could not be waited for")
                            : WIFEXITED(status)
                                ? "ended with exit status " + std::to_string(WEXITSTATUS(status))
                            : WIFSIGNALED(status) ? "was killed by signal " + std::to_string(WTERMSIG(status))
                                                  : std::string("ended abnormally");
    why += (why.empty() ? "" : "; ") + std::string("ffmpeg ") + how;
    return false;
}

bool VideoEncoder::Finish(std::string& why) {
    if (failed_) return false;
    if (child_ < 0) {
        why = "no frame to encode";
        return false;
    }
    return Wait(why);
}

}  // namespace qm
