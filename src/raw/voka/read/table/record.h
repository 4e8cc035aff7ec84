#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "error/error.h"
#include "raw/voka/entry_details.h"
#include "raw/voka/read/table/stored_path.h"

namespace quellan::raw::voka::read::table {

// A table record is 272 bytes, integers little-endian:
//   0    256 bytes  name, ending at the first zero byte (or all 256 bytes)
//   256  u32        offset, bits 0-31
//   260  u16        offset, bits 32-47
//   262  u8         archive part (not interpreted)
//   263  u8         flags: bits 0-3 the compression kind
//   264  u32        size on disk
//   268  u32        uncompressed size
// Only this header and record.cpp know where a field lies.
inline constexpr std::size_t TABLE_RECORD_SIZE = 272;
inline constexpr std::size_t TABLE_NAME_SIZE = 256;

namespace record_layout {
inline constexpr std::size_t NAME_AT = 0;
inline constexpr std::size_t OFFSET_LOW_AT = 256;
inline constexpr std::size_t OFFSET_HIGH_AT = 260;
inline constexpr std::size_t ARCHIVE_PART_AT = 262;
inline constexpr std::size_t FLAGS_AT = 263;
inline constexpr std::size_t SIZE_ON_DISK_AT = 264;
inline constexpr std::size_t UNCOMPRESSED_SIZE_AT = 268;

static_assert(NAME_AT + TABLE_NAME_SIZE == OFFSET_LOW_AT);
static_assert(OFFSET_LOW_AT + sizeof(std::uint32_t) == OFFSET_HIGH_AT);
static_assert(OFFSET_HIGH_AT + sizeof(std::uint16_t) == ARCHIVE_PART_AT);
static_assert(ARCHIVE_PART_AT + sizeof(std::uint8_t) == FLAGS_AT);
static_assert(FLAGS_AT + sizeof(std::uint8_t) == SIZE_ON_DISK_AT);
static_assert(SIZE_ON_DISK_AT + sizeof(std::uint32_t) == UNCOMPRESSED_SIZE_AT);
static_assert(UNCOMPRESSED_SIZE_AT + sizeof(std::uint32_t) == TABLE_RECORD_SIZE);
}  // namespace record_layout

/// A view of one record's bytes, valid as long as they are: while a walk over
/// the table stands on it, or while the `OwnedRecord` it came from lives.
class Record {
 public:
  explicit Record(const char* bytes) : bytes_(bytes) {}

  /// The name: the bytes before the first zero byte of the name field.
  std::string_view name() const;

  /// Whether the name may be a description or content by its first byte,
  /// told without looking for the name's end.
  bool may_be_module_path() const { return table::may_be_module_path(bytes_[record_layout::NAME_AT]); }

  /// Whether the name passes `is_meta_entry_name`. Looks at the first bytes
  /// alone for most names.
  bool has_meta_entry_name() const;

  /// The decoded record, with its own copy of the name. Fails with
  /// `UnknownCompression` when its flags name no known compression.
  error::Result<EntryDetails> entry_details() const;

  const char* bytes() const { return bytes_; }

 private:
  const char* bytes_;
};

/// A record's bytes kept past the walk that met them.
class OwnedRecord {
 public:
  explicit OwnedRecord(Record record);
  Record view() const { return Record(bytes_.data()); }

 private:
  std::array<char, TABLE_RECORD_SIZE> bytes_;
};

}  // namespace quellan::raw::voka::read::table
