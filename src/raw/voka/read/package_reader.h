#pragma once

#include <array>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "common/byte_buffer.h"
#include "common/little_endian.h"
#include "error/expected.h"
#include "error/io_error.h"
#include "platform/file.h"

namespace quellan::raw::voka::read {

/// A package file opened read-only behind an 8192-byte read buffer. It reads
/// exactly, seeks absolutely (dropping the buffer) and relatively, and closes the
/// file when it goes away.
class PackageReader {
 public:
  static constexpr std::size_t BUFFER_SIZE = 8192;

  /// Opens `path` read-only, never waiting for a writer. Fails with
  /// `not_regular_file` for anything but a regular file or a directory (whose
  /// reads then fail).
  static error::Expected<PackageReader, error::IoError> open(const std::string& path);

  /// Fills `out` completely, or fails; the end of the file is `unexpected_eof`.
  error::Expected<void, error::IoError> read_exact(std::span<char> out);

  /// Reads a little-endian unsigned integer.
  template <std::unsigned_integral T>
  error::Expected<T, error::IoError> read_little_endian() {
    std::array<char, sizeof(T)> bytes;
    if (auto read = read_exact(bytes); !read) return std::unexpected(read.error());
    return common::load_little_endian<T>(bytes.data());
  }

  /// Reads exactly `size` bytes into a new buffer. The size comes from the
  /// package, so it is never trusted: when the file cannot hold that many bytes,
  /// this fails as the short read would, before anything is allocated.
  error::Expected<common::ByteBuffer, error::IoError> read_to_new_buffer(std::size_t size);

  /// Where the next byte handed out lies, from the start of the file.
  std::uint64_t position() const { return position_; }

  /// Whether the file holds `size` more bytes after those already handed out.
  bool holds(std::uint64_t size) const { return size <= (file_size_ > position_ ? file_size_ - position_ : 0); }

  /// Moves to `position` from the start of the file and drops the buffered bytes.
  /// A position of 2^63 or more is refused by the system.
  error::Expected<void, error::IoError> seek_absolute(std::uint64_t position);

  /// Moves by `offset` from the current position.
  error::Expected<void, error::IoError> seek_relative(std::int64_t offset);

 private:
  PackageReader(platform::File file, std::uint64_t file_size);

  std::size_t buffered() const { return end_ - begin_; }

  platform::File file_;
  std::unique_ptr<char[]> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  // As the file was when opened; `position_` is where the next byte handed out lies.
  std::uint64_t file_size_;
  std::uint64_t position_ = 0;
};

}  // namespace quellan::raw::voka::read
