#include "common/byte_buffer.h"

#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/pages.h"

namespace quellan::common {

namespace {

// From this size on a buffer is mapped on its own and offered huge pages: most
// of a decompressed file table of tens of MiB then comes in a few dozen page
// faults instead of thousands, which were most of the cost of filling it.
// Smaller buffers come from the C heap, whose recycled memory is cheaper than
// fresh pages. The size always holds at least one whole aligned 2 MiB page.
//
// AddressSanitizer watches heap blocks but not mappings of our own, so builds
// under it keep every buffer on the heap where an overrun is caught.
#if defined(__SANITIZE_ADDRESS__)  // GCC
constexpr bool UNDER_ADDRESS_SANITIZER = true;
#elif defined(__has_feature)  // clang
constexpr bool UNDER_ADDRESS_SANITIZER = __has_feature(address_sanitizer);
#else
constexpr bool UNDER_ADDRESS_SANITIZER = false;
#endif
constexpr std::size_t MAPPED_BUFFER_SIZE = UNDER_ADDRESS_SANITIZER ? SIZE_MAX : std::size_t{4} << 20;
constexpr std::size_t HUGE_PAGE_SIZE = platform::LARGE_PAGE_SIZE;

// The kernel aligns a mapping to huge pages only when its length is a multiple of
// their size; rounding up costs address space, not memory, since untouched pages
// are never backed.
std::size_t whole_huge_pages(std::size_t size) {
  return size > SIZE_MAX - (HUGE_PAGE_SIZE - 1) ? size : (size + HUGE_PAGE_SIZE - 1) & ~(HUGE_PAGE_SIZE - 1);
}

}  // namespace

void ByteBuffer::Release::operator()(char* bytes) const noexcept {
  if (mapped_size != 0) {
    platform::unmap_pages(bytes, mapped_size);
  } else {
    std::free(bytes);
  }
}

std::optional<ByteBuffer> ByteBuffer::zeroed(std::size_t size) { return allocate(size, true); }

std::optional<ByteBuffer> ByteBuffer::for_overwrite(std::size_t size) { return allocate(size, false); }

std::optional<ByteBuffer> ByteBuffer::allocate(std::size_t size, bool zero) {
  if (size > SIZE_MAX - SLACK) return std::nullopt;
  if (size >= MAPPED_BUFFER_SIZE) {
    // A mapping of our own is zero-filled by the kernel at no cost to us.
    const std::size_t mapped_size = whole_huge_pages(size + SLACK);
    void* bytes = platform::map_zeroed_pages(mapped_size);
    if (bytes == nullptr) return std::nullopt;
    return ByteBuffer(static_cast<char*>(bytes), size, Release{mapped_size});
  }
  auto* bytes = static_cast<char*>(zero ? std::calloc(size + SLACK, 1) : std::malloc(size + SLACK));
  if (bytes == nullptr) return std::nullopt;
  if (!zero) std::memset(bytes + size, 0, SLACK);
  return ByteBuffer(bytes, size, Release{});
}

std::optional<ByteBuffer> ByteBuffer::copy_of(std::string_view bytes) {
  std::optional<ByteBuffer> buffer = for_overwrite(bytes.size());
  if (buffer && !bytes.empty()) std::memcpy(buffer->data(), bytes.data(), bytes.size());
  return buffer;
}

void ByteBuffer::truncate(std::size_t size) {
  if (size >= size_) return;
  std::memset(bytes_.get() + size, 0, std::min(size_ - size, SLACK));
  size_ = size;
}

}  // namespace quellan::common
