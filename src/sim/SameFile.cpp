#include "sim/SameFile.h"

#include <sys/stat.h>

#include <optional>

namespace qm::sim {
namespace {

// What a name stands for: a file's device and inode, or a folder's and the
// name in it for a file not made yet.
struct FileId {
    dev_t device = 0;
    ino_t inode = 0;
    std::string name;
    bool operator==(const FileId&) const = default;
};

std::optional<FileId> IdOf(const std::string& path) {
    if (path == "-") return FileId{0, 0, path};
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) {
        if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) return std::nullopt;
        return FileId{info.st_dev, info.st_ino, ""};
    }
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || stat(folder.c_str(), &info) != 0) return FileId{0, 0, path};
    return FileId{info.st_dev, info.st_ino, name};
}

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
    if (a.empty() || b.empty()) return false;
    const std::optional<FileId> first = IdOf(a);
    return first && first == IdOf(b);
}

}  // namespace qm::sim
