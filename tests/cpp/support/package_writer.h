#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quellan::test_support {

/// The header is magic, version and footer offset: stored bytes start after it.
inline constexpr std::uint64_t HEADER_SIZE = 16;

/// One stored file of a package being built. The factories give a consistent
/// entry; a test then breaks the one field it is about.
struct PackageEntry {
  std::string name;        // raw bytes; the first 256 land in the record
  std::string stored;      // the bytes written into the body
  std::uint8_t flags = 0;  // raw flags byte, compression kind in bits 0-3
  std::uint32_t uncompressed_size = 0;
  // Unset, where `stored` is written; bits 48 and up are dropped.
  std::optional<std::uint64_t> offset = std::nullopt;
  // Unset, the length of `stored`.
  std::optional<std::uint32_t> size_on_disk = std::nullopt;
  std::uint8_t archive_part = 0;

  static PackageEntry plain(std::string name, std::string_view contents);
  static PackageEntry zlib(std::string name, std::string_view contents);
  static PackageEntry lz4(std::string name, std::string_view contents);
};

/// Builds a package in memory: header, the entries' stored bytes back to back,
/// then the file table (counts and the LZ4-compressed records). Every field the
/// reader trusts can be overridden, one at a time.
class PackageWriter {
 public:
  PackageWriter& magic(std::string_view four_bytes);
  PackageWriter& version(std::uint32_t version);
  PackageWriter& footer_offset(std::uint64_t offset);
  PackageWriter& add(PackageEntry entry);
  /// Adds `count` copies of the record of the entry added `index`-th: each points
  /// at that entry's stored bytes and stores nothing of its own.
  PackageWriter& add_aliases(std::size_t index, std::size_t count);
  /// Declares `count` records instead of the number of entries.
  PackageWriter& declared_file_count(std::uint32_t count);
  /// Declares a compressed table of `size` bytes instead of the block's length.
  PackageWriter& declared_table_size(std::uint32_t size);
  /// Writes `block` instead of the compressed records.
  PackageWriter& table_block(std::string block);

  /// The decompressed table: one 272-byte record per entry.
  std::string records() const;
  /// Where the stored bytes of the entry added `index`-th are written.
  std::uint64_t data_position(std::size_t index) const;
  /// Where the file table is written, whatever the header says.
  std::uint64_t table_position() const;
  /// The whole package.
  std::string bytes() const;

 private:
  std::string magic_ = "VOKA";
  std::uint32_t version_ = 18;
  std::optional<std::uint64_t> footer_offset_;
  std::vector<PackageEntry> entries_;
  std::optional<std::uint32_t> declared_file_count_;
  std::optional<std::uint32_t> declared_table_size_;
  std::optional<std::string> table_block_;
};

/// `bytes` as one LZ4 block (no frame).
std::string lz4_block(std::string_view bytes);

/// `bytes` as one zlib stream.
std::string zlib_stream(std::string_view bytes);

}  // namespace quellan::test_support
