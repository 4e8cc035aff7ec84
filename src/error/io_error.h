#pragma once

#include <cstdint>
#include <string>

namespace quellan::error {

/// An I/O failure kept as a value and rendered only when its message is shown,
/// in the wording users know from the platform.
class IoError {
 public:
  /// A failure that carries an operating-system error number.
  static IoError os(int error_number) { return IoError(Kind::os, static_cast<std::uint64_t>(error_number)); }
  /// The file ended before a read had all the bytes it asked for.
  static IoError unexpected_eof() { return IoError(Kind::unexpected_eof, 0); }
  /// The zlib stream reader found the data invalid.
  static IoError corrupt_deflate() { return IoError(Kind::corrupt_deflate, 0); }
  /// A path holding a NUL byte cannot be handed to the system.
  static IoError nul_in_path() { return IoError(Kind::nul_in_path, 0); }
  /// The zlib stream would decompress to more than the `limit` bytes allowed.
  static IoError output_limit(std::uint64_t limit) { return IoError(Kind::output_limit, limit); }
  /// Bytes used as they are stored would be more than the `limit` bytes allowed.
  static IoError stored_limit(std::uint64_t limit) { return IoError(Kind::stored_limit, limit); }
  /// The path names something other than a regular file or a directory: a FIFO,
  /// a device or a socket, which may never end or never answer.
  static IoError not_regular_file() { return IoError(Kind::not_regular_file, 0); }

  /// "No such file or directory (os error 2)", "failed to fill whole buffer", ...
  std::string message() const;

 private:
  enum class Kind {
    os,
    unexpected_eof,
    corrupt_deflate,
    nul_in_path,
    output_limit,
    stored_limit,
    not_regular_file,
  };
  IoError(Kind kind, std::uint64_t value) : kind_(kind), value_(value) {}

  Kind kind_;
  std::uint64_t value_;  // the error number of `os`, the limit of `output_limit` and `stored_limit`
};

}  // namespace quellan::error
