#include "support/TestFiles.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace qm {

TempFile::TempFile(const std::string& contents) {
    char name[] = "/tmp/quillmoth-test-XXXXXX";
    int fd = mkstemp(name);
    if (fd < 0) throw std::runtime_error("mkstemp failed");
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
