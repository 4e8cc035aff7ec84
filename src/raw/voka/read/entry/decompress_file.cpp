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

// An uncompressed size of 0 means the bytes are stored as they are, whatever the kind.
bool is_stored_as_is(const EntryDetails& entry) {
  return entry.compression == CompressionKind::None || entry.uncompressed_size == 0;
}

// The most stored bytes `entry` may have: those used as they are become the
// contents, so they are held to the contents' limits too.
std::size_t stored_limit(const EntryDetails& entry, const ExtractionAllowance& allowance) {
  if (is_stored_as_is(entry)) return std::min({allowance.stored, allowance.contents, std::size_t{MAX_DECOMPRESSED_SIZE}});
  return allowance.stored;
}

error::Result<common::ByteBuffer> read_stored_bytes(const EntryDetails& entry, read::PackageReader& reader,
                                                    std::size_t limit) {
  if (auto seek = reader.seek_absolute(entry.offset); !seek) {
    return std::unexpected(error::Io{"seeking " + common::pathbuf_from_bytes(entry.name) + " offset in .pak", seek.error()});
  }
  auto read_failure = [&](error::IoError cause) {
    return std::unexpected(
        error::Error::read_io("compressed " + common::pathbuf_from_bytes(entry.name) + " from .pak", cause));
  };
  // Bytes that the file does not hold fail as a short read, limit or not. Every
  // entry counts as at least its minimum cost, however few bytes it has.
  if (extraction_cost(entry.size_on_disk) > limit && reader.holds(entry.size_on_disk)) {
    return read_failure(error::IoError::stored_limit(limit));
  }
  auto stored = reader.read_to_new_buffer(entry.size_on_disk);
  if (!stored) return read_failure(stored.error());
  return std::move(*stored);
}

error::Result<common::ByteBuffer> inflate_zlib(const EntryDetails& entry, std::string_view stored,
                                               std::size_t limit) {
  auto contents = common::inflate_zlib_exact(stored, entry.uncompressed_size, limit);
  if (!contents) return std::unexpected(error::DecompressIo{common::pathbuf_from_bytes(entry.name), contents.error()});
  return std::move(*contents);
}

error::Result<common::ByteBuffer> decompress_lz4(const EntryDetails& entry, std::string_view stored,
                                                 std::size_t limit) {
  // A block that needs more room than the limit fails as one that needs more than it declares.
  auto contents = common::decompress_lz4_block(stored, std::min<std::uint64_t>(entry.uncompressed_size, limit));
  if (!contents) {
    return std::unexpected(error::Lz4Decompress{
        "file " + common::pathbuf_from_bytes(entry.name) + " at offset " + std::to_string(entry.offset),
        entry.size_on_disk, entry.uncompressed_size, contents.error()});
  }
  return std::move(*contents);
}

error::Result<common::ByteBuffer> decode(const EntryDetails& entry, common::ByteBuffer stored,
                                         std::size_t limit) {
  if (is_stored_as_is(entry)) return stored;
  const std::size_t decompressed_limit = std::min<std::size_t>(limit, MAX_DECOMPRESSED_SIZE);
  switch (entry.compression) {
    case CompressionKind::None:
      return stored;
    case CompressionKind::Zlib:
      return inflate_zlib(entry, stored.view(), decompressed_limit);
    case CompressionKind::Lz4:
      return decompress_lz4(entry, stored.view(), decompressed_limit);
    case CompressionKind::Zstd:
      return std::unexpected(error::ZstdUnsupported{});
  }
  std::abort();  // every enumerator returns above
}

}  // namespace

error::Result<ModFile> EntryDetails::decompress_file(read::PackageReader& reader,
                                                     ExtractionAllowance allowance) && {
  // Refused before anything is read: the package may well be fine otherwise.
  if (compression == CompressionKind::Zstd) return std::unexpected(error::ZstdUnsupported{});
  auto stored = read_stored_bytes(*this, reader, stored_limit(*this, allowance));
  if (!stored) return std::unexpected(std::move(stored.error()));
  auto contents = decode(*this, std::move(*stored), allowance.contents);
  if (!contents) return std::unexpected(std::move(contents.error()));
  return ModFile{std::move(name), std::move(*contents)};
}

}  // namespace quellan::raw::voka
