#include "raw/voka/read/package_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quellan::raw::voka::read {

using error::IoError;

namespace {

std::unexpected<IoError> last_os_error() { return std::unexpected(IoError::os(errno)); }

}  // namespace

PackageReader::PackageReader(common::FileDescriptor file, std::uint64_t file_size)
    : file_(std::move(file)),
      buffer_(std::make_unique_for_overwrite<char[]>(BUFFER_SIZE)),
      file_size_(file_size) {}

error::Expected<PackageReader, IoError> PackageReader::open(const std::string& path) {
  if (path.find('\0') != std::string::npos) return std::unexpected(IoError::nul_in_path());
  int fd;
  do {
    // O_NONBLOCK keeps the open of a FIFO from waiting for a writer. Only regular
    // files go on to be read, and on those the flag changes nothing.
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return last_os_error();
  common::FileDescriptor file(fd);
  // statx rather than fstat: glibc exports fstat as a function of its own only
  // from 2.33 on, while statx (2.28) keeps the module loadable on older systems.
  struct statx status;
  if (::statx(fd, "", AT_EMPTY_PATH | AT_STATX_SYNC_AS_STAT, STATX_TYPE | STATX_SIZE, &status) < 0) {
    return last_os_error();
  }
  // A FIFO or a device may never end, or never answer; a directory fails on its
  // first read with the system's own words.
  if (!S_ISREG(status.stx_mode) && !S_ISDIR(status.stx_mode)) {
    return std::unexpected(IoError::not_regular_file());
  }
  return PackageReader(std::move(file), status.stx_size);
}

error::Expected<std::size_t, IoError> PackageReader::read_some(char* out, std::size_t size) {
  for (;;) {
    const ssize_t count = ::read(file_.get(), out, size);
    if (count >= 0) return static_cast<std::size_t>(count);
    if (errno != EINTR) return last_os_error();
  }
}

error::Expected<void, IoError> PackageReader::read_exact(std::span<char> out) {
  while (!out.empty()) {
    if (buffered() == 0) {
      // A large request with nothing buffered goes straight to its destination.
      const bool direct = out.size() >= BUFFER_SIZE;
      auto count = direct ? read_some(out.data(), out.size()) : read_some(buffer_.get(), BUFFER_SIZE);
      if (!count) return std::unexpected(count.error());
      if (*count == 0) return std::unexpected(IoError::unexpected_eof());
      if (direct) {
        position_ += *count;
        out = out.subspan(*count);
        continue;
      }
      begin_ = 0;
      end_ = *count;
    }
    const std::size_t taken = std::min(buffered(), out.size());
    std::memcpy(out.data(), buffer_.get() + begin_, taken);
    begin_ += taken;
    position_ += taken;
    out = out.subspan(taken);
  }
  return {};
}

error::Expected<common::ByteBuffer, IoError> PackageReader::read_to_new_buffer(std::size_t size) {
  if (!holds(size)) return std::unexpected(IoError::unexpected_eof());
  auto buffer = common::ByteBuffer::for_overwrite(size);
  if (!buffer) return std::unexpected(IoError::os(ENOMEM));
  if (auto read = read_exact(buffer->span()); !read) return std::unexpected(read.error());
  return std::move(*buffer);
}

error::Expected<void, IoError> PackageReader::seek_absolute(std::uint64_t position) {
  // Positions of 2^63 and above turn negative here, and the system refuses them.
  if (::lseek(file_.get(), static_cast<off_t>(position), SEEK_SET) < 0) return last_os_error();
  begin_ = end_ = 0;
  position_ = position;
  return {};
}

error::Expected<void, IoError> PackageReader::seek_relative(std::int64_t offset) {
  // The file itself stands past the buffered bytes, so they are taken off the move.
  const auto from_file = static_cast<off_t>(offset - static_cast<std::int64_t>(buffered()));
  if (::lseek(file_.get(), from_file, SEEK_CUR) < 0) return last_os_error();
  begin_ = end_ = 0;
  position_ = static_cast<std::uint64_t>(static_cast<std::int64_t>(position_) + offset);
  return {};
}

}  // namespace quellan::raw::voka::read
