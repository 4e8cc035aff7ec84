#pragma once

#include <unistd.h>

#include <utility>

namespace quellan::platform::posix {

/// Owns a POSIX file descriptor and closes it on every way out: for the tools
/// that run on Linux alone (the fuzz harness, the benchmarks).
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() { reset(); }

  int get() const { return fd_; }

 private:
  void reset() {
    // A failed close of a descriptor only ever read from loses nothing.
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  int fd_;
};

}  // namespace quellan::platform::posix
