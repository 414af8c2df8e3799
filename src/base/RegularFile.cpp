#include "base/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qm {
namespace {

std::optional<std::string> KindRefused(mode_t mode) {
    if (S_ISREG(mode)) return std::nullopt;
    if (S_ISDIR(mode)) return "it is a folder, not a regular file";
    if (S_ISFIFO(mode)) return "it is a FIFO, not a regular file";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "it is a device, not a regular file";
    if (S_ISSOCK(mode)) return "it is a socket, not a regular file";
    return "it is not a regular file";
}

// A descriptor of the regular file at `path`, or -1 with `why` set. The name
// is looked at before it is opened, so a device is not even opened, and the
// open itself does not wait for a FIFO's writer.
int OpenRegular(const std::string& path, std::string& why) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
        why = std::strerror(errno);
        return -1;
    }
    if (auto refused = KindRefused(info.st_mode)) {
        why = *refused;
        return -1;
    }
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        why = std::strerror(errno);
        return -1;
    }
    // The name may have been replaced between the look and the open.
    if (fstat(fd, &info) != 0 || KindRefused(info.st_mode)) {
        why = KindRefused(info.st_mode).value_or(std::strerror(errno));
        close(fd);
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

}  // namespace

std::optional<std::string> NotRegularFile(const std::string& path) {
    std::string why;
    const int fd = OpenRegular(path, why);
    if (fd < 0) return why;
    close(fd);
    return std::nullopt;
}

std::FILE* OpenRegularFile(const std::string& path, std::string& why) {
    const int fd = OpenRegular(path, why);
    if (fd < 0) return nullptr;
    std::FILE* file = fdopen(fd, "rb");
    if (!file) {
        why = std::strerror(errno);
        close(fd);
    }
    return file;
}

std::optional<std::string> ReadRegularFile(const std::string& path, std::string& why) {
    std::FILE* file = OpenRegularFile(path, why);
    if (!file) return std::nullopt;
    std::string text;
    char piece[65536];
    std::size_t got = 0;
    while ((got = std::fread(piece, 1, sizeof piece, file)) > 0) text.append(piece, got);
    const bool failed = std::ferror(file);
    const int error = errno;
    std::fclose(file);
    if (failed) {
        why = std::strerror(error);
        return std::nullopt;
    }
    return text;
}

std::optional<std::string> CannotReplace(const std::string& path) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) {
        if (errno == ENOENT) return std::nullopt;
        return std::string(std::strerror(errno));
    }
    // A link is replaced, not followed, by a rename: what counts is the link.
    if (S_ISLNK(info.st_mode)) return std::nullopt;
    return KindRefused(info.st_mode);
}

bool ReplaceWith(const std::string& temporary, const std::string& path, std::string& why) {
    if (auto refused = CannotReplace(path)) {
        why = *refused;
        return false;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        why = std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace qm
