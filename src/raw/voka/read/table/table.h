#pragma once

#include <cstddef>
#include <cstdint>
#include <ranges>
#include <string_view>

#include "common/byte_buffer.h"
#include "error/error.h"
#include "raw/voka/entry_details.h"
#include "raw/voka/read/package_reader.h"

namespace quellan::raw::voka::read::table {

// A table record is 272 bytes, integers little-endian:
//   0    256 bytes  name, ending at the first zero byte (or all 256 bytes)
//   256  u32        offset, bits 0-31
//   260  u16        offset, bits 32-47
//   262  u8         archive part (not interpreted)
//   263  u8         flags: bits 0-3 the compression kind
//   264  u32        size on disk
//   268  u32        uncompressed size
inline constexpr std::size_t TABLE_RECORD_SIZE = 272;
inline constexpr std::size_t TABLE_NAME_SIZE = 256;

/// Whether a stored path names a module description: "Mods/" + folder +
/// "/meta.kvt" with no "/" in the folder, compared byte for byte.
bool is_meta_entry_name(std::string_view name);

/// The decompressed file table of a package. Entry names handed out are views
/// into it, so it must outlive every `EntryDetails` and `ModFile` made from it.
class Table {
 public:
  /// Reads and decompresses the table at the reader's position and leaves the
  /// reader after it. A block that decodes to fewer bytes than its records need
  /// is refused, so every record of a table is complete.
  static error::Result<Table> read_from(PackageReader& reader);

  /// The name of the record at byte offset `offset`.
  std::string_view path_at(std::size_t offset) const;

  /// The first byte of that name (zero for the empty name), found without
  /// looking for the name's end.
  char first_name_byte_at(std::size_t offset) const { return records_.data()[offset]; }

  /// Decodes the record at byte offset `offset`, whose name is `name`. Fails with
  /// `UnknownCompression` when its flags name no known compression.
  error::Result<EntryDetails> entry_details(std::size_t offset, std::string_view name) const;

  /// Whether the name of the record at byte offset `offset` passes
  /// `is_meta_entry_name`. Looks at the first bytes alone for most names.
  bool has_meta_entry_name(std::size_t offset) const;

  std::uint32_t number_of_files() const { return number_of_files_; }

  /// The byte offset of every record, in table order.
  auto record_offsets() const {
    return std::views::iota(std::size_t{0}, std::size_t{number_of_files_}) |
           std::views::transform([](std::size_t index) { return index * TABLE_RECORD_SIZE; });
  }

  /// Every record's name, in table order, produced as the caller asks for them.
  auto paths() const {
    return record_offsets() | std::views::transform([this](std::size_t offset) { return path_at(offset); });
  }

  /// One item per record whose name passes `is_meta_entry_name`, in table order:
  /// the decoded entry or the error that decoding it gave. Other records are
  /// passed over by name alone.
  auto meta_entries() const {
    return record_offsets() |
           std::views::filter([this](std::size_t offset) { return has_meta_entry_name(offset); }) |
           std::views::transform([this](std::size_t offset) { return entry_details(offset, path_at(offset)); });
  }

 private:
  Table(common::ByteBuffer records, std::uint32_t number_of_files)
      : records_(std::move(records)), number_of_files_(number_of_files) {}

  common::ByteBuffer records_;
  std::uint32_t number_of_files_;
};

}  // namespace quellan::raw::voka::read::table
