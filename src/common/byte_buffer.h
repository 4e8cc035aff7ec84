#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

namespace quellan::common {

/// An owned, zero-filled run of bytes whose allocation may fail without throwing.
/// The zeros come from `calloc`, so a large buffer costs no pass over its memory:
/// the kernel hands out pages that are already zero.
class ByteBuffer {
 public:
  ByteBuffer() = default;

  /// A buffer of `size` zero bytes, or nothing when that much memory cannot be had.
  static std::optional<ByteBuffer> zeroed(std::size_t size);

  /// Grows the buffer to `size` bytes, the new ones zero; false (and the buffer
  /// unchanged) when memory cannot be had.
  bool grow_to(std::size_t size);

  /// Forgets every byte from `size` on; the memory itself is kept.
  void truncate(std::size_t size) {
    if (size < size_) size_ = size;
  }

  char* data() { return bytes_.get(); }
  const char* data() const { return bytes_.get(); }
  std::size_t size() const { return size_; }
  std::span<char> span() { return {bytes_.get(), size_}; }
  std::string_view view() const { return {bytes_.get(), size_}; }

 private:
  struct Free {
    void operator()(char* bytes) const noexcept { std::free(bytes); }
  };
  ByteBuffer(char* bytes, std::size_t size) : bytes_(bytes), size_(size) {}

  std::unique_ptr<char[], Free> bytes_;
  std::size_t size_ = 0;
};

}  // namespace quellan::common
