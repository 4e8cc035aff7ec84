#include "common/byte_buffer.h"

#include <cstring>

namespace quellan::common {

std::optional<ByteBuffer> ByteBuffer::zeroed(std::size_t size) {
  // calloc(0) may legitimately return null; ask for one byte so that null always
  // means that memory ran out.
  auto* bytes = static_cast<char*>(std::calloc(size == 0 ? 1 : size, 1));
  if (bytes == nullptr) return std::nullopt;
  return ByteBuffer(bytes, size);
}

bool ByteBuffer::grow_to(std::size_t size) {
  if (size <= size_) return true;
  auto* bytes = static_cast<char*>(std::realloc(bytes_.get(), size));
  if (bytes == nullptr) return false;
  (void)bytes_.release();
  bytes_.reset(bytes);
  std::memset(bytes + size_, 0, size - size_);
  size_ = size;
  return true;
}

}  // namespace quellan::common
