#include "raw/voka/read/open_pak.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "raw/voka/header.h"

namespace quellan::raw::voka::read {

namespace {

error::Result<PackageReader> open_for_reading(const std::string& path) {
  auto reader = PackageReader::open(path);
  if (!reader) return std::unexpected(error::Error::read_io(path, reader.error()));
  return std::move(*reader);
}

}  // namespace

error::Result<PackageReader> open_pak_validating_header(const std::string& path) {
  auto reader = open_for_reading(path);
  if (!reader) return reader;

  std::array<char, 4> magic;
  if (auto read = reader->read_exact(magic); !read) {
    return std::unexpected(error::Error::read_io(".pak header", read.error()));
  }
  std::array<std::uint8_t, 4> found;
  std::memcpy(found.data(), magic.data(), found.size());
  if (found != VOKA_ID_BYTES) return std::unexpected(error::InvalidMagic{found, VOKA_ID_BYTES});

  auto version = reader->read_little_endian<std::uint32_t>();
  if (!version) return std::unexpected(error::Error::read_io(".pak format version", version.error()));
  if (*version < MIN_SUPPORTED_VERSION) return std::unexpected(error::UnsupportedVersion{});

  auto footer_offset = reader->read_little_endian<std::uint64_t>();
  if (!footer_offset) {
    return std::unexpected(error::Error::read_io(".pak footer offset", footer_offset.error()));
  }
  if (auto seek = reader->seek_absolute(*footer_offset); !seek) {
    return std::unexpected(error::Io{"seeking to .pak footer offset", seek.error()});
  }
  return reader;
}

error::Result<PackageReader> open_pak_skipping_header(const std::string& path) {
  auto reader = open_for_reading(path);
  if (!reader) return reader;

  constexpr std::int64_t MAGIC_AND_VERSION_SIZE = 8;
  if (auto seek = reader->seek_relative(MAGIC_AND_VERSION_SIZE); !seek) {
    return std::unexpected(error::Io{"seeking header metadata of " + path, seek.error()});
  }
  auto footer_offset = reader->read_little_endian<std::uint64_t>();
  if (!footer_offset) {
    return std::unexpected(error::Error::read_io("footer offset of " + path, footer_offset.error()));
  }
  if (auto seek = reader->seek_absolute(*footer_offset); !seek) {
    return std::unexpected(error::Io{"seeking footer metadata of " + path, seek.error()});
  }
  return reader;
}

}  // namespace quellan::raw::voka::read
