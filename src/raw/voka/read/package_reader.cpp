#include "raw/voka/read/package_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quellan::raw::voka::read {

using error::IoError;

PackageReader::PackageReader(platform::File file, std::uint64_t file_size)
    : file_(std::move(file)),
      buffer_(std::make_unique_for_overwrite<char[]>(BUFFER_SIZE)),
      file_size_(file_size) {}

error::Expected<PackageReader, IoError> PackageReader::open(const std::string& path) {
  if (path.find('\0') != std::string::npos) return std::unexpected(IoError::nul_in_path());
  auto file = platform::File::open_read_only(path);
  if (!file) return std::unexpected(file.error());
  auto status = file->status();
  if (!status) return std::unexpected(status.error());
  // A FIFO or a device may never end, or never answer; a directory fails on its
  // first read with the system's own words.
  if (status->type == platform::FileType::other) return std::unexpected(IoError::not_regular_file());
  return PackageReader(std::move(*file), status->size);
}

error::Expected<void, IoError> PackageReader::read_exact(std::span<char> out) {
  while (!out.empty()) {
    if (buffered() == 0) {
      // A large request with nothing buffered goes straight to its destination.
      const bool direct = out.size() >= BUFFER_SIZE;
      auto count = direct ? file_.read_some(out.data(), out.size()) : file_.read_some(buffer_.get(), BUFFER_SIZE);
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
  if (auto seek = file_.seek(static_cast<std::int64_t>(position), platform::SeekFrom::start); !seek) return seek;
  begin_ = end_ = 0;
  position_ = position;
  return {};
}

error::Expected<void, IoError> PackageReader::seek_relative(std::int64_t offset) {
  // The file itself stands past the buffered bytes, so they are taken off the move.
  const std::int64_t from_file = offset - static_cast<std::int64_t>(buffered());
  if (auto seek = file_.seek(from_file, platform::SeekFrom::current); !seek) return seek;
  begin_ = end_ = 0;
  position_ = static_cast<std::uint64_t>(static_cast<std::int64_t>(position_) + offset);
  return {};
}

}  // namespace quellan::raw::voka::read
