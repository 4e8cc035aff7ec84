#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/posix/file_descriptor.h"

namespace quellan::fuzz {

/// A file that lives in memory only and holds the given bytes. `path()` names it
/// through /proc, so every open of that path starts afresh at offset 0, exactly as
/// a package on disk would be opened. Throws `std::system_error` when the system
/// cannot provide one, which is a fault of the machine, not of the input.
class MemoryFile {
 public:
  explicit MemoryFile(std::string_view bytes) : file_(::memfd_create("package", MFD_CLOEXEC)) {
    if (file_.get() < 0) throw_last_error("memfd_create");
    while (!bytes.empty()) {
      const ssize_t written = ::write(file_.get(), bytes.data(), bytes.size());
      if (written < 0 && errno == EINTR) continue;
      if (written < 0) throw_last_error("writing a memory file");
      bytes.remove_prefix(static_cast<std::size_t>(written));
    }
  }

  std::string path() const { return "/proc/self/fd/" + std::to_string(file_.get()); }

 private:
  [[noreturn]] static void throw_last_error(const char* what) {
    throw std::system_error(errno, std::generic_category(), what);
  }

  platform::posix::FileDescriptor file_;
};

}  // namespace quellan::fuzz
