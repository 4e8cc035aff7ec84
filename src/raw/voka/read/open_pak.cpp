#include "raw/voka/read/open_pak.h"

#include <array>
#include <bit>
#include <cstdint>

#include "raw/voka/header.h"

namespace quellan::raw::voka::read {

namespace {

error::Result<PackageReader> open_for_reading(const std::string& path) {
  auto reader = PackageReader::open(path);
  if (!reader) return std::unexpected(error::Error::read_io(path, reader.error()));
  return std::move(*reader);
}

// Reads the footer offset that follows the header and moves the reader there,
// to the file table. Failures after a header that was skipped name the path.
error::Result<PackageReader> seek_to_table(PackageReader reader, const std::string& path, bool header_read) {
  auto footer_offset = reader.read_little_endian<std::uint64_t>();
  if (!footer_offset) {
    return std::unexpected(error::Error::read_io(header_read ? ".pak footer offset" : "footer offset of " + path,
                                                 footer_offset.error()));
  }
  if (auto seek = reader.seek_absolute(*footer_offset); !seek) {
    return std::unexpected(
        error::Io{header_read ? "seeking to .pak footer offset" : "seeking footer metadata of " + path, seek.error()});
  }
  return reader;
}

}  // namespace

error::Result<PackageReader> open_pak_validating_header(const std::string& path) {
  auto reader = open_for_reading(path);
  if (!reader) return reader;

  std::array<char, 4> magic;
  if (auto read = reader->read_exact(magic); !read) {
    return std::unexpected(error::Error::read_io(".pak header", read.error()));
  }
  const auto found = std::bit_cast<std::array<std::uint8_t, 4>>(magic);
  if (found != VOKA_ID_BYTES) return std::unexpected(error::InvalidMagic{found, VOKA_ID_BYTES});

  auto version = reader->read_little_endian<std::uint32_t>();
  if (!version) return std::unexpected(error::Error::read_io(".pak format version", version.error()));
  if (*version < MIN_SUPPORTED_VERSION) return std::unexpected(error::UnsupportedVersion{});
  return seek_to_table(std::move(*reader), path, true);
}

error::Result<PackageReader> open_pak_skipping_header(const std::string& path) {
  auto reader = open_for_reading(path);
  if (!reader) return reader;

  constexpr std::int64_t MAGIC_AND_VERSION_SIZE = 8;
  if (auto seek = reader->seek_relative(MAGIC_AND_VERSION_SIZE); !seek) {
    return std::unexpected(error::Io{"seeking header metadata of " + path, seek.error()});
  }
  return seek_to_table(std::move(*reader), path, false);
}

}  // namespace quellan::raw::voka::read
