#include "raw/voka/read/table/record.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "common/little_endian.h"
#include "common/path_text.h"

namespace quellan::raw::voka::read::table {

namespace {

constexpr std::uint8_t COMPRESSION_MASK = 0x0F;
constexpr std::uint32_t LAST_KNOWN_COMPRESSION = static_cast<std::uint32_t>(CompressionKind::Zstd);

}  // namespace

std::string_view Record::name() const {
  const char* name = bytes_ + record_layout::NAME_AT;
  const void* end = std::memchr(name, '\0', TABLE_NAME_SIZE);
  return {name, end == nullptr ? TABLE_NAME_SIZE : static_cast<std::size_t>(static_cast<const char*>(end) - name)};
}

bool Record::has_meta_entry_name() const {
  // Only names below "Mods/" can be descriptions: the first word rules out the
  // rest before the rules look at anything else.
  const NameInRecord name(bytes_ + record_layout::NAME_AT);
  return name.starts_with(MODS_FOLDER) && name.classify().kind == StoredPath::Kind::description;
}

error::Result<EntryDetails> Record::entry_details() const {
  const auto compression = static_cast<std::uint8_t>(bytes_[record_layout::FLAGS_AT] & COMPRESSION_MASK);
  if (compression > LAST_KNOWN_COMPRESSION) {
    return std::unexpected(error::UnknownCompression{
        compression, ".pak compression flags for " + common::pathbuf_from_bytes(name())});
  }
  const auto offset_low = common::load_little_endian<std::uint32_t>(bytes_ + record_layout::OFFSET_LOW_AT);
  const auto offset_high = common::load_little_endian<std::uint16_t>(bytes_ + record_layout::OFFSET_HIGH_AT);
  return EntryDetails{
      .name = std::string(name()),
      .offset = (std::uint64_t{offset_high} << 32) | offset_low,
      .size_on_disk = common::load_little_endian<std::uint32_t>(bytes_ + record_layout::SIZE_ON_DISK_AT),
      .uncompressed_size = common::load_little_endian<std::uint32_t>(bytes_ + record_layout::UNCOMPRESSED_SIZE_AT),
      .compression = static_cast<CompressionKind>(compression),
  };
}

OwnedRecord::OwnedRecord(Record record) { std::copy_n(record.bytes(), TABLE_RECORD_SIZE, bytes_.begin()); }

}  // namespace quellan::raw::voka::read::table
