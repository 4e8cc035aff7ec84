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

// Reads of unknown length grow their buffer by at most this much at a time.
constexpr std::size_t MAX_READ_STEP = std::size_t{16} << 20;

std::unexpected<IoError> last_os_error() { return std::unexpected(IoError::os(errno)); }

}  // namespace

PackageReader::PackageReader(common::FileDescriptor file, std::optional<std::uint64_t> file_size)
    : file_(std::move(file)),
      buffer_(std::make_unique_for_overwrite<char[]>(BUFFER_SIZE)),
      file_size_(file_size) {}

error::Expected<PackageReader, IoError> PackageReader::open(const std::string& path) {
  if (path.find('\0') != std::string::npos) return std::unexpected(IoError::nul_in_path());
  int fd;
  do {
    // O_NONBLOCK keeps the open of a FIFO from waiting for a writer; it is
    // cleared right after so that reads behave as on any other file.
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return last_os_error();
  common::FileDescriptor file(fd);
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) return last_os_error();
  struct stat status;
  if (::fstat(fd, &status) < 0) return last_os_error();
  std::optional<std::uint64_t> file_size;
  if (S_ISREG(status.st_mode)) file_size = static_cast<std::uint64_t>(status.st_size);
  return PackageReader(std::move(file), file_size);
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
  if (!file_size_) {
    common::ByteBuffer buffer;
    if (auto read = read_in_bounded_steps(buffer, size); !read) return std::unexpected(read.error());
    return buffer;
  }
  const std::uint64_t remaining = *file_size_ > position_ ? *file_size_ - position_ : 0;
  if (size > remaining) return std::unexpected(IoError::unexpected_eof());
  auto buffer = common::ByteBuffer::zeroed(size);
  if (!buffer) return std::unexpected(IoError::os(ENOMEM));
  if (auto read = read_exact(buffer->span()); !read) return std::unexpected(read.error());
  return std::move(*buffer);
}

error::Expected<void, IoError> PackageReader::read_in_bounded_steps(common::ByteBuffer& buffer,
                                                                    std::size_t size) {
  std::size_t step = BUFFER_SIZE;
  while (buffer.size() < size) {
    const std::size_t start = buffer.size();
    const std::size_t target = start + std::min(step, size - start);
    if (!buffer.grow_to(target)) return std::unexpected(IoError::os(ENOMEM));
    if (auto read = read_exact(buffer.span().subspan(start)); !read) return read;
    step = std::min(step * 2, MAX_READ_STEP);
  }
  return {};
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
