#pragma once
// Temporary files and folders for tests, removed when the test ends.

#include <string>

namespace qm {

class TempFile {
  public:
    // The suffix keeps an extension that a loader may go by (".x").
    explicit TempFile(const std::string& contents, const std::string& suffix = "");
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
