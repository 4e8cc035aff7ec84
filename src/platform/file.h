#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "error/expected.h"
#include "error/io_error.h"

namespace quellan::platform {

/// What a path names, as far as reading it goes.
enum class FileType { regular, directory, other };

struct FileStatus {
  FileType type;
  std::uint64_t size;  // meaningful for a regular file
};

/// Where a seek counts from.
enum class SeekFrom { start, current };

/// A file opened read-only through the platform's C runtime, closed when it goes
/// away. Every failure is the runtime's error number, as an `IoError`.
class File {
 public:
  /// Opens `path`, UTF-8 as the caller gave it and free of NUL bytes, read-only
  /// and never waiting: on POSIX the open of a FIFO does not wait for a writer.
  static error::Expected<File, error::IoError> open_read_only(const std::string& path);

  File(File&& other) noexcept : descriptor_(std::exchange(other.descriptor_, -1)) {}
  File& operator=(File&& other) noexcept {
    if (this != &other) {
      File closing(std::move(*this));
      descriptor_ = std::exchange(other.descriptor_, -1);
    }
    return *this;
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File();

  /// The file's type and size as they are now.
  error::Expected<FileStatus, error::IoError> status() const;

  /// Reads up to `size` bytes into `out`; 0 only at the end of the file.
  error::Expected<std::size_t, error::IoError> read_some(char* out, std::size_t size);

  /// Moves the file position by `offset` from `from`. A position that would be
  /// negative is refused by the system.
  error::Expected<void, error::IoError> seek(std::int64_t offset, SeekFrom from);

 private:
  explicit File(int descriptor) : descriptor_(descriptor) {}

  int descriptor_;
};

}  // namespace quellan::platform
