#include <algorithm>
#include <cassert>
#include <cstdint>
#include <optional>
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

// The most an LZ4 entry may decode to: a block that needs more room fails as
// one that needs more than it declares.
std::uint64_t lz4_capacity(const EntryDetails& entry, std::size_t decompressed_limit) {
  return std::min<std::uint64_t>(entry.uncompressed_size, decompressed_limit);
}

std::unexpected<error::Error> lz4_failure(const EntryDetails& entry, error::Lz4Error cause) {
  return std::unexpected<error::Error>(error::Lz4Decompress{
      "file " + common::pathbuf_from_bytes(entry.name) + " at offset " + std::to_string(entry.offset),
      entry.size_on_disk, entry.uncompressed_size, std::move(cause)});
}

// Contents under this size are given room before their stored bytes are read:
// larger buffers get a mapping of their own, outside the heap.
constexpr std::uint64_t MOST_ROOM_SET_ASIDE = std::uint64_t{4} << 20;

// Room for what an LZ4 entry declares, set aside before its stored bytes are
// read, or none. The stored bytes then lie above the contents on the heap, and
// what the parse allocates next takes their place once they are freed. Read
// first, they would leave a hole under the contents, the heap would reach
// higher, and the allocator would give its top back to the system at the end
// of each call, to fault it in again in the next. The declared size is not
// trusted, so only a size this small is set aside, and the room is left as the
// allocator gives it: pages that nothing writes cost nothing. Larger entries,
// and any whose room cannot be had, are checked first and then given exactly
// what they produce.
std::optional<common::ByteBuffer> room_set_aside(const EntryDetails& entry, std::size_t limit) {
  if (entry.compression != CompressionKind::Lz4 || is_stored_as_is(entry)) return std::nullopt;
  const std::uint64_t capacity = lz4_capacity(entry, limit);
  if (capacity >= MOST_ROOM_SET_ASIDE) return std::nullopt;
  return common::ByteBuffer::for_overwrite(static_cast<std::size_t>(capacity));
}

// Decodes into room set aside for the whole capacity, with the same answers as
// a block checked first: both forms of the decoder agree on every block.
error::Result<common::ByteBuffer> decompress_lz4_into(const EntryDetails& entry, std::string_view stored,
                                                      common::ByteBuffer room) {
  auto produced = common::decode_lz4_block(stored, room.span());
  if (!produced) return lz4_failure(entry, produced.error());
  room.truncate(*produced);
  return room;
}

// The contents of `entry` from its stored bytes, at most `limit` of them. Zstd
// is refused before anything is read.
error::Result<common::ByteBuffer> decode(const EntryDetails& entry, common::ByteBuffer stored, std::size_t limit) {
  if (is_stored_as_is(entry)) return stored;
  assert(entry.compression != CompressionKind::Zstd);
  if (entry.compression == CompressionKind::Zlib) {
    auto contents = common::inflate_zlib_exact(stored.view(), entry.uncompressed_size, limit);
    if (!contents) return std::unexpected(error::DecompressIo{common::pathbuf_from_bytes(entry.name), contents.error()});
    return std::move(*contents);
  }
  auto contents = common::decompress_lz4_block(stored.view(), lz4_capacity(entry, limit));
  if (!contents) return lz4_failure(entry, contents.error());
  return std::move(*contents);
}

}  // namespace

error::Result<ModFile> EntryDetails::decompress_file(read::PackageReader& reader,
                                                     ExtractionAllowance allowance) && {
  // Refused before anything is read: the package may well be fine otherwise.
  if (compression == CompressionKind::Zstd) return std::unexpected(error::ZstdUnsupported{});
  std::optional<common::ByteBuffer> room = room_set_aside(*this, allowance.most_contents());
  auto stored = read_stored_bytes(*this, reader, stored_limit(*this, allowance));
  if (!stored) return std::unexpected(std::move(stored.error()));
  auto contents = room ? decompress_lz4_into(*this, stored->view(), std::move(*room))
                       : decode(*this, std::move(*stored), allowance.most_contents());
  if (!contents) return std::unexpected(std::move(contents.error()));
  return ModFile{std::move(name), std::move(*contents)};
}

}  // namespace quellan::raw::voka
