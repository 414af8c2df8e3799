#include "record/Writable.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qm {

std::optional<std::string> CannotWrite(const std::string& path) {
    if (path.empty()) return "no file name";
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) {
        if (S_ISDIR(info.st_mode)) return "it is a folder";
        if (access(path.c_str(), W_OK) != 0) return std::strerror(errno);
        return std::nullopt;
    }
    if (errno != ENOENT) return std::strerror(errno);
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    if (access(folder.c_str(), W_OK | X_OK) != 0) return std::strerror(errno);
    return std::nullopt;
}

}  // namespace qm
