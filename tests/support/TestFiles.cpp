#include "support/TestFiles.h"

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace qm {

TempFile::TempFile(const std::string& contents, const std::string& suffix) {
    std::string name = "/tmp/quillmoth-test-XXXXXX" + suffix;
    int fd = mkstemps(name.data(), static_cast<int>(suffix.size()));
    if (fd < 0) throw std::runtime_error("mkstemps failed");
    close(fd);
    path = name;
    std::ofstream(path, std::ios::binary) << contents;
}

TempFile::~TempFile() { std::remove(path.c_str()); }

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace qm
