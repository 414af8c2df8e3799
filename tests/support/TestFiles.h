#pragma once
// Temporary files and folders for tests, removed when the test ends.

#include <string>

namespace qm {

class TempFile {
public:
    explicit TempFile(const std::string& contents);
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const char* Path() const { return path.c_str(); }
    const std::string& PathString() const { return path; }

private:
    std::string path;
};

std::string ReadFile(const std::string& path);

}  // namespace qm
