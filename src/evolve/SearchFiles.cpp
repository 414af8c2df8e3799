#include "evolve/SearchFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/Diagnostics.h"
#include "base/RegularFile.h"
#include "evolve/SearchError.h"

namespace qm::evolve {

void WriteFile(const std::string& path, const std::string& text, bool append) {
    std::FILE* file = std::fopen(path.c_str(), append ? "ab" : "wb");
    int error = file ? 0 : errno;
    if (file) {
        if (std::fwrite(text.data(), 1, text.size(), file) != text.size() || std::fflush(file) != 0)
            error = errno;
        if (std::fclose(file) != 0 && error == 0) error = errno;
    }
    if (error != 0) throw SearchError{"cannot write " + Printable(path, 400) + ": " + std::strerror(error)};
}

void ReplaceFile(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp";
    try {
        WriteFile(temporary, text);
    } catch (const SearchError&) {
        std::remove(temporary.c_str());
        throw;
    }
    std::string why;
    if (!ReplaceWith(temporary, path, why)) {
        std::remove(temporary.c_str());
        throw SearchError{"cannot replace " + Printable(path, 400) + ": " + why};
    }
}

}  // namespace qm::evolve
