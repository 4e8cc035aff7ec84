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
///
/// Every buffer is followed by `SLACK` zero bytes that are readable but not part
/// of it, whatever filled it. Scans over its contents may thus load whole words
/// and vectors at any offset before its end without a tail loop.
class ByteBuffer {
 public:
  static constexpr std::size_t SLACK = 64;

  ByteBuffer() = default;

  /// A buffer of `size` zero bytes, or nothing when that much memory cannot be had.
  [[nodiscard]] static std::optional<ByteBuffer> zeroed(std::size_t size);

  /// A buffer of `size` bytes left as the allocator gives them, for a caller
  /// that writes every one before it reads any (or drops the buffer): a read
  /// of a whole file part then costs no pass that clears it first. Its slack
  /// is zero, as always.
  [[nodiscard]] static std::optional<ByteBuffer> for_overwrite(std::size_t size);

  /// A buffer that holds a copy of `bytes`, or nothing when memory runs out.
  [[nodiscard]] static std::optional<ByteBuffer> copy_of(std::string_view bytes);

  /// Forgets every byte from `size` on, which become slack again; the memory
  /// itself is kept.
  void truncate(std::size_t size);

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

  // A buffer of `size` bytes, zero throughout or only in its slack as `zero` says.
  [[nodiscard]] static std::optional<ByteBuffer> allocate(std::size_t size, bool zero);

  std::unique_ptr<char[], Release> bytes_;
  std::size_t size_ = 0;
};

/// A view of bytes followed by at least `ByteBuffer::SLACK` readable zero bytes:
/// the contents of a `ByteBuffer`, or a part of them that runs to its end.
class PaddedBytes {
 public:
  // Implicit: a buffer is the one source of padded bytes.
  PaddedBytes(const ByteBuffer& buffer) : bytes_(buffer.view()) {}  // NOLINT(google-explicit-constructor)

  std::string_view view() const { return bytes_; }

 private:
  std::string_view bytes_;
};

}  // namespace quellan::common
