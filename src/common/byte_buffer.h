#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

namespace quellan::common {

/// An owned, zero-filled run of bytes whose allocation may fail without throwing.
/// The zeros come from the allocator, so a large buffer costs no pass over its
/// memory: the kernel hands out pages that are already zero.
class ByteBuffer {
 public:
  ByteBuffer() = default;

  /// A buffer of `size` zero bytes, or nothing when that much memory cannot be had.
  [[nodiscard]] static std::optional<ByteBuffer> zeroed(std::size_t size);

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
  // Gives the memory back the way it was had: a mapping of its own when
  // `mapped_size` is set, the C heap otherwise. Value-initialised, it frees.
  struct Release {
    std::size_t mapped_size;
    void operator()(char* bytes) const noexcept;
  };
  ByteBuffer(char* bytes, std::size_t size, Release release) : bytes_(bytes, release), size_(size) {}

  [[nodiscard]] static std::optional<ByteBuffer> mapped_zeroed(std::size_t size);

  std::unique_ptr<char[], Release> bytes_;
  std::size_t size_ = 0;
};

}  // namespace quellan::common
