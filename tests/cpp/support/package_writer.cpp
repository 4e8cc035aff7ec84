#include "support/package_writer.h"

#include <lz4.h>
#include <zlib.h>

#include <stdexcept>

#include "raw/voka/compression_kind.h"

namespace quellan::test_support {

namespace {

constexpr std::size_t NAME_SIZE = 256;

template <class T>
void append_little_endian(std::string& out, T value) {
  for (std::size_t i = 0; i < sizeof value; ++i) {
    out.push_back(static_cast<char>((static_cast<std::uint64_t>(value) >> (8 * i)) & 0xFF));
  }
}

std::uint8_t flags_of(raw::voka::CompressionKind kind) { return static_cast<std::uint8_t>(kind); }

std::string record_of(const PackageEntry& entry, std::uint64_t data_position) {
  std::string record = entry.name.substr(0, NAME_SIZE);
  record.resize(NAME_SIZE, '\0');
  const std::uint64_t offset = entry.offset.value_or(data_position);
  append_little_endian(record, static_cast<std::uint32_t>(offset));
  append_little_endian(record, static_cast<std::uint16_t>(offset >> 32));
  record.push_back(static_cast<char>(entry.archive_part));
  record.push_back(static_cast<char>(entry.flags));
  append_little_endian(record, entry.size_on_disk.value_or(static_cast<std::uint32_t>(entry.stored.size())));
  append_little_endian(record, entry.uncompressed_size);
  return record;
}

}  // namespace

PackageEntry PackageEntry::plain(std::string name, std::string_view contents) {
  return {.name = std::move(name),
          .stored = std::string(contents),
          .flags = flags_of(raw::voka::CompressionKind::None),
          .uncompressed_size = static_cast<std::uint32_t>(contents.size())};
}

PackageEntry PackageEntry::zlib(std::string name, std::string_view contents) {
  return {.name = std::move(name),
          .stored = zlib_stream(contents),
          .flags = flags_of(raw::voka::CompressionKind::Zlib),
          .uncompressed_size = static_cast<std::uint32_t>(contents.size())};
}

PackageEntry PackageEntry::lz4(std::string name, std::string_view contents) {
  return {.name = std::move(name),
          .stored = lz4_block(contents),
          .flags = flags_of(raw::voka::CompressionKind::Lz4),
          .uncompressed_size = static_cast<std::uint32_t>(contents.size())};
}

PackageWriter& PackageWriter::magic(std::string_view four_bytes) {
  magic_ = std::string(four_bytes);
  return *this;
}

PackageWriter& PackageWriter::version(std::uint32_t version) {
  version_ = version;
  return *this;
}

PackageWriter& PackageWriter::footer_offset(std::uint64_t offset) {
  footer_offset_ = offset;
  return *this;
}

PackageWriter& PackageWriter::add(PackageEntry entry) {
  entries_.push_back(std::move(entry));
  return *this;
}

PackageWriter& PackageWriter::add_aliases(std::size_t index, std::size_t count) {
  PackageEntry alias = entries_.at(index);
  alias.offset = alias.offset.value_or(data_position(index));
  alias.size_on_disk = alias.size_on_disk.value_or(static_cast<std::uint32_t>(alias.stored.size()));
  alias.stored.clear();
  entries_.insert(entries_.end(), count, alias);
  return *this;
}

PackageWriter& PackageWriter::declared_file_count(std::uint32_t count) {
  declared_file_count_ = count;
  return *this;
}

PackageWriter& PackageWriter::declared_table_size(std::uint32_t size) {
  declared_table_size_ = size;
  return *this;
}

PackageWriter& PackageWriter::table_block(std::string block) {
  table_block_ = std::move(block);
  return *this;
}

std::uint64_t PackageWriter::data_position(std::size_t index) const {
  std::uint64_t position = HEADER_SIZE;
  for (std::size_t i = 0; i < index; ++i) position += entries_.at(i).stored.size();
  return position;
}

std::uint64_t PackageWriter::table_position() const { return data_position(entries_.size()); }

std::string PackageWriter::records() const {
  std::string records;
  for (std::size_t i = 0; i < entries_.size(); ++i) records += record_of(entries_[i], data_position(i));
  return records;
}

std::string PackageWriter::bytes() const {
  std::string out = magic_;
  append_little_endian(out, version_);
  append_little_endian(out, footer_offset_.value_or(table_position()));
  for (const PackageEntry& entry : entries_) out += entry.stored;

  const std::string block = table_block_.value_or(lz4_block(records()));
  append_little_endian(out, declared_file_count_.value_or(static_cast<std::uint32_t>(entries_.size())));
  append_little_endian(out, declared_table_size_.value_or(static_cast<std::uint32_t>(block.size())));
  return out + block;
}

std::string lz4_block(std::string_view bytes) {
  std::string block(static_cast<std::size_t>(LZ4_compressBound(static_cast<int>(bytes.size()))), '\0');
  const int size = LZ4_compress_default(bytes.data(), block.data(), static_cast<int>(bytes.size()),
                                        static_cast<int>(block.size()));
  if (size <= 0) throw std::runtime_error("LZ4 compression failed");
  block.resize(static_cast<std::size_t>(size));
  return block;
}

std::string zlib_stream(std::string_view bytes) {
  // zlib counts in unsigned long, 32 bits on Windows: test data stays far below.
  const auto input_size = static_cast<uLong>(bytes.size());
  uLongf size = compressBound(input_size);
  std::string stream(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(stream.data()), &size,
                reinterpret_cast<const Bytef*>(bytes.data()), input_size, Z_BEST_COMPRESSION) != Z_OK) {
    throw std::runtime_error("zlib compression failed");
  }
  stream.resize(size);
  return stream;
}

}  // namespace quellan::test_support
