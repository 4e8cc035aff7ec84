#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>

namespace quellan::platform {

using error::IoError;

namespace {

std::unexpected<IoError> last_os_error() { return std::unexpected(IoError::os(errno)); }

FileType type_of(unsigned mode) {
  if (S_ISREG(mode)) return FileType::regular;
  if (S_ISDIR(mode)) return FileType::directory;
  return FileType::other;
}

}  // namespace

error::Expected<File, IoError> File::open_read_only(const std::string& path) {
  int fd;
  do {
    // O_NONBLOCK keeps the open of a FIFO from waiting for a writer. Only regular
    // files go on to be read, and on those the flag changes nothing.
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return last_os_error();
  return File(fd);
}

File::~File() {
  // A failed close of a descriptor only ever read from loses nothing.
  if (descriptor_ >= 0) ::close(descriptor_);
}

error::Expected<FileStatus, IoError> File::status() const {
  // statx rather than fstat: glibc exports fstat as a function of its own only
  // from 2.33 on, while statx (2.28) keeps the module loadable on older systems.
  struct statx status;
  if (::statx(descriptor_, "", AT_EMPTY_PATH | AT_STATX_SYNC_AS_STAT, STATX_TYPE | STATX_SIZE, &status) < 0) {
    return last_os_error();
  }
  return FileStatus{type_of(status.stx_mode), status.stx_size};
}

error::Expected<std::size_t, IoError> File::read_some(char* out, std::size_t size) {
  for (;;) {
    const ssize_t count = ::read(descriptor_, out, size);
    if (count >= 0) return static_cast<std::size_t>(count);
    if (errno != EINTR) return last_os_error();
  }
}

error::Expected<void, IoError> File::seek(std::int64_t offset, SeekFrom from) {
  if (::lseek(descriptor_, static_cast<off_t>(offset), from == SeekFrom::start ? SEEK_SET : SEEK_CUR) < 0) {
    return last_os_error();
  }
  return {};
}

}  // namespace quellan::platform
