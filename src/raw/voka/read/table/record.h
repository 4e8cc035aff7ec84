#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "common/bytes.h"
#include "common/little_endian.h"

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
inline constexpr std::size_t FLAGS_AT = 263;
inline constexpr std::size_t SIZE_ON_DISK_AT = 264;
inline constexpr std::size_t UNCOMPRESSED_SIZE_AT = 268;
}  // namespace record_layout

/// A record's name read in place: the name ends at its first zero byte or with
/// the name field, and the record's other fields follow the field, so a word or
/// a vector may be loaded from any byte of the name without leaving the record.
class NameInRecord {
 public:
  explicit NameInRecord(const char* name) : name_(name) {}

  /// The name read by the module rules. Most names are told by their first
  /// word, and no name's end is looked for but by the rules. Defined here, where
  /// the walks over the table inline it: it runs for most records of a package.
  StoredPath classify() const {
    const bool below_mods = starts_with(MODS_FOLDER);
    if (!below_mods && !starts_with(PUBLIC_FOLDER)) return {};
    const std::size_t folder_at = below_mods ? MODS_FOLDER.size() : PUBLIC_FOLDER.size();
    if (!below_mods && holds_at(folder_at, SHARED_CONTENT_FOLDER) &&
        !ends_at(folder_at + SHARED_CONTENT_FOLDER.size())) {
      return {StoredPath::Kind::shared_content, {}};
    }
    const std::size_t end = find_slash(folder_at);
    if (end == std::string_view::npos) return {};
    const std::size_t rest = end + 1;
    // A folder named with nothing below it is nobody's content.
    if (ends_at(rest)) return {};
    const std::string_view folder = segment(folder_at, end);
    if (below_mods && holds_at(rest, DESCRIPTION_FILE) && ends_at(rest + DESCRIPTION_FILE.size())) {
      return {StoredPath::Kind::description, folder};
    }
    return {StoredPath::Kind::content, folder};
  }

  /// Whether the name begins with `prefix`, of at most a word and without a zero
  /// byte: one load, whatever the name's length.
  bool starts_with(std::string_view prefix) const {
    return common::low_bytes(common::load_word(name_) ^ common::little_endian_word(prefix), prefix.size()) == 0;
  }

  /// Whether the name goes on with `bytes`, at least a word of them and no zero
  /// byte, at `at`: compared a word at a time, the last word overlapping the one
  /// before, so that most names differ at the first.
  bool holds_at(std::size_t at, std::string_view bytes) const {
    if (at + bytes.size() > TABLE_NAME_SIZE) return false;
    const char* name = name_ + at;
    for (std::size_t i = 0; i + common::WORD < bytes.size(); i += common::WORD) {
      if (!same_word(name + i, bytes.data() + i)) return false;
    }
    return same_word(name + bytes.size() - common::WORD, bytes.data() + bytes.size() - common::WORD);
  }

  bool ends_at(std::size_t at) const { return at == TABLE_NAME_SIZE || name_[at] == '\0'; }

  /// The first "/" at or after `from`, looked for a vector at a time together
  /// with the name's end.
  std::size_t find_slash(std::size_t from) const {
    const std::size_t found = common::find_any_of<'/', '\0'>(std::string_view(name_, TABLE_NAME_SIZE), from);
    return found != std::string_view::npos && name_[found] == '/' ? found : std::string_view::npos;
  }

  std::string_view segment(std::size_t from, std::size_t end) const { return {name_ + from, end - from}; }

 private:
  static_assert(TABLE_RECORD_SIZE - TABLE_NAME_SIZE >= common::CHUNK - 1, "a chunk from the name's last byte stays in the record");

  static bool same_word(const char* a, const char* b) {
    return common::load_word(a) == common::load_word(b);
  }

  const char* name_;
};

/// A view of one record's bytes, valid as long as they are: while a walk over
/// the table stands on it, or while the `OwnedRecord` it came from lives.
class Record {
 public:
  explicit Record(const char* bytes) : bytes_(bytes) {}

  /// The name: the bytes before the first zero byte of the name field.
  std::string_view name() const;

  /// The name read by the module rules, in place.
  StoredPath classify() const { return NameInRecord(bytes_ + record_layout::NAME_AT).classify(); }

  /// Whether the name is that of a module description: "Mods/" + folder +
  /// "/meta.kvt", with no "/" in the folder. Looks at the first word alone for
  /// most names.
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
