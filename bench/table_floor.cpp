#include "table_floor.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>

#include "common/byte_buffer.h"
#include "platform/posix/file_descriptor.h"
#include "common/little_endian.h"
#include "common/lz4_block.h"

namespace quellan::bench {

namespace {

constexpr std::size_t NAME_SIZE = 256;

bool read_at(int fd, char* out, std::size_t size, off_t offset) {
  return ::pread(fd, out, size, offset) == static_cast<ssize_t>(size);
}

template <class T>
bool read_integer_at(int fd, off_t offset, T& value) {
  char bytes[sizeof(T)];
  if (!read_at(fd, bytes, sizeof bytes, offset)) return false;
  value = common::load_little_endian<T>(bytes);
  return true;
}

std::size_t count_mods_names(const char* records, std::size_t count) {
  std::size_t mods = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (floor_record_name(records + i * FLOOR_RECORD_SIZE).starts_with("Mods/")) ++mods;
  }
  return mods;
}

}  // namespace

std::string_view floor_record_name(const char* record) {
  const void* end = std::memchr(record, '\0', NAME_SIZE);
  return {record, end ? static_cast<std::size_t>(static_cast<const char*>(end) - record) : NAME_SIZE};
}

std::optional<common::ByteBuffer> read_table_floor(const std::string& path) {
  platform::posix::FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  const int fd = file.get();
  std::uint64_t table_offset = 0;
  std::uint32_t count = 0;
  std::uint32_t compressed_size = 0;
  constexpr off_t TABLE_OFFSET_AT = 8;
  if (fd < 0 || !read_integer_at(fd, TABLE_OFFSET_AT, table_offset)) return std::nullopt;
  const auto table_at = static_cast<off_t>(table_offset);
  if (!read_integer_at(fd, table_at, count) || !read_integer_at(fd, table_at + 4, compressed_size)) return std::nullopt;

  const std::size_t records_size = std::size_t{count} * FLOOR_RECORD_SIZE;
  auto records = common::ByteBuffer::zeroed(records_size);
  if (!records) return std::nullopt;
  {
    auto compressed = common::ByteBuffer::zeroed(compressed_size);
    if (!compressed || !read_at(fd, compressed->data(), compressed_size, table_at + 8)) return std::nullopt;
    const auto produced = common::decode_lz4_block(compressed->view(), records->span());
    if (produced != records_size) return std::nullopt;
  }
  return std::move(*records);
}

std::size_t scan_table_floor(const std::string& path) {
  const auto records = read_table_floor(path);
  return records ? count_mods_names(records->data(), records->view().size() / FLOOR_RECORD_SIZE) : 0;
}

}  // namespace quellan::bench
