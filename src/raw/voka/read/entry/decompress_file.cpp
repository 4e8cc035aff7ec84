#include <algorithm>
#include <cstdlib>
#include <string>

#include "common/lz4_block.h"
#include "common/path_text.h"
#include "common/zlib_stream.h"
#include "raw/voka/entry_details.h"
#include "raw/voka/read/package_reader.h"

namespace quellan::raw::voka {

namespace {

error::Result<common::ByteBuffer> read_stored_bytes(const EntryDetails& entry, read::PackageReader& reader) {
  if (auto seek = reader.seek_absolute(entry.offset); !seek) {
    return std::unexpected(error::Io{"seeking " + common::pathbuf_from_bytes(entry.name) + " offset in .pak", seek.error()});
  }
  auto stored = reader.read_to_new_buffer(entry.size_on_disk);
  if (!stored) {
    return std::unexpected(
        error::Io{"reading compressed " + common::pathbuf_from_bytes(entry.name) + " from .pak", stored.error()});
  }
  return std::move(*stored);
}

error::Result<common::ByteBuffer> inflate_zlib(const EntryDetails& entry, std::string_view stored) {
  auto contents = common::inflate_zlib_exact(stored, entry.uncompressed_size, MAX_DECOMPRESSED_SIZE);
  if (!contents) return std::unexpected(error::DecompressIo{common::pathbuf_from_bytes(entry.name), contents.error()});
  return std::move(*contents);
}

error::Result<common::ByteBuffer> decompress_lz4(const EntryDetails& entry, std::string_view stored) {
  // A block that needs more room than the limit fails as one that needs more than it declares.
  auto contents =
      common::decompress_lz4_block(stored, std::min(entry.uncompressed_size, MAX_DECOMPRESSED_SIZE));
  if (!contents) {
    return std::unexpected(error::Lz4Decompress{
        "file " + common::pathbuf_from_bytes(entry.name) + " at offset " + std::to_string(entry.offset),
        entry.size_on_disk, entry.uncompressed_size, contents.error()});
  }
  return std::move(*contents);
}

error::Result<common::ByteBuffer> decode(const EntryDetails& entry, common::ByteBuffer stored) {
  // An uncompressed size of 0 means the bytes are stored as they are, whatever the kind.
  if (entry.uncompressed_size == 0) return stored;
  switch (entry.compression) {
    case CompressionKind::None:
      return stored;
    case CompressionKind::Zlib:
      return inflate_zlib(entry, stored.view());
    case CompressionKind::Lz4:
      return decompress_lz4(entry, stored.view());
    case CompressionKind::Zstd:
      return std::unexpected(error::ZstdUnsupported{});
  }
  std::abort();  // every enumerator returns above
}

}  // namespace

error::Result<ModFile> EntryDetails::decompress_file(read::PackageReader& reader) && {
  // Refused before anything is read: the package may well be fine otherwise.
  if (compression == CompressionKind::Zstd) return std::unexpected(error::ZstdUnsupported{});
  auto stored = read_stored_bytes(*this, reader);
  if (!stored) return std::unexpected(std::move(stored.error()));
  auto contents = decode(*this, std::move(*stored));
  if (!contents) return std::unexpected(std::move(contents.error()));
  return ModFile{name, std::move(*contents)};
}

}  // namespace quellan::raw::voka
