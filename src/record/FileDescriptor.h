#pragma once
// A file descriptor closed when it goes out of scope.

#include <unistd.h>

namespace qm::record {

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd(fd) {}
    ~FileDescriptor() {
        if (fd >= 0) close(fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd; }

  private:
    int fd;
};

}  // namespace qm::record
