#include "raw/voka/read/table/table.h"

#include <cstring>

#include "common/little_endian.h"
#include "common/lz4_block.h"
#include "common/path_text.h"

namespace quellan::raw::voka::read::table {

namespace {

constexpr std::size_t OFFSET_LOW_AT = 256;
constexpr std::size_t OFFSET_HIGH_AT = 260;
constexpr std::size_t FLAGS_AT = 263;
constexpr std::size_t SIZE_ON_DISK_AT = 264;
constexpr std::size_t UNCOMPRESSED_SIZE_AT = 268;
constexpr std::uint8_t COMPRESSION_MASK = 0x0F;
constexpr std::uint32_t LAST_KNOWN_COMPRESSION = static_cast<std::uint32_t>(CompressionKind::Zstd);

constexpr std::string_view META_PREFIX = "Mods/";
constexpr std::string_view META_SUFFIX = "/meta.kvt";

}  // namespace

bool is_meta_entry_name(std::string_view name) {
  if (name.size() < META_PREFIX.size() + META_SUFFIX.size()) return false;
  if (!name.starts_with(META_PREFIX) || !name.ends_with(META_SUFFIX)) return false;
  const std::string_view folder =
      name.substr(META_PREFIX.size(), name.size() - META_PREFIX.size() - META_SUFFIX.size());
  return folder.find('/') == std::string_view::npos;
}

error::Result<Table> Table::read_from(PackageReader& reader) {
  auto number_of_files = reader.read_little_endian<std::uint32_t>();
  if (!number_of_files) {
    return std::unexpected(error::Error::read_io(".pak number of files contained files", number_of_files.error()));
  }
  auto compressed_size = reader.read_little_endian<std::uint32_t>();
  if (!compressed_size) {
    return std::unexpected(error::Error::read_io(".pak number of bytes in table", compressed_size.error()));
  }
  auto compressed = reader.read_to_new_buffer(*compressed_size);
  if (!compressed) return std::unexpected(error::Error::read_io(".pak compressed table", compressed.error()));

  const std::size_t declared_size = std::size_t{*number_of_files} * TABLE_RECORD_SIZE;
  auto records = common::decompress_lz4_block(compressed->view(), declared_size);
  if (!records) return std::unexpected(error::TablePathsDecompress{records.error()});
  // A short table would leave its last records undefined; refuse it whole.
  if (records->size() != declared_size) {
    return std::unexpected(error::TablePathsDecompress{
        error::Lz4Error::short_output(records->size(), declared_size)});
  }
  return Table(std::move(*records), *number_of_files);
}

bool Table::has_meta_entry_name(std::size_t offset) const {
  // A name that does not start with the prefix fails whatever its length, and the
  // prefix holds no zero byte, so the record's first bytes decide most names
  // without a search for the name's end.
  const char* name = records_.data() + offset;
  if (std::memcmp(name, META_PREFIX.data(), META_PREFIX.size()) != 0) return false;
  return is_meta_entry_name(path_at(offset));
}

std::string_view Table::path_at(std::size_t offset) const {
  const char* name = records_.data() + offset;
  const void* end = std::memchr(name, '\0', TABLE_NAME_SIZE);
  return {name, end == nullptr ? TABLE_NAME_SIZE : static_cast<std::size_t>(static_cast<const char*>(end) - name)};
}

error::Result<EntryDetails> Table::entry_details(std::size_t offset, std::string_view name) const {
  const char* record = records_.data() + offset;
  const auto compression = static_cast<std::uint8_t>(record[FLAGS_AT] & COMPRESSION_MASK);
  if (compression > LAST_KNOWN_COMPRESSION) {
    return std::unexpected(error::UnknownCompression{
        compression, ".pak compression flags for " + common::pathbuf_from_bytes(name)});
  }
  const auto offset_low = common::load_little_endian<std::uint32_t>(record + OFFSET_LOW_AT);
  const auto offset_high = common::load_little_endian<std::uint16_t>(record + OFFSET_HIGH_AT);
  return EntryDetails{
      .name = name,
      .offset = (std::uint64_t{offset_high} << 32) | offset_low,
      .size_on_disk = common::load_little_endian<std::uint32_t>(record + SIZE_ON_DISK_AT),
      .uncompressed_size = common::load_little_endian<std::uint32_t>(record + UNCOMPRESSED_SIZE_AT),
      .compression = static_cast<CompressionKind>(compression),
  };
}

}  // namespace quellan::raw::voka::read::table
