#pragma once

#include <cstddef>

namespace quellan::platform {

/// The allocation granule of `map_zeroed_pages` that large buffers round up to.
constexpr std::size_t LARGE_PAGE_SIZE = std::size_t{2} << 20;

/// `size` bytes of fresh zero pages of their own, offered large pages where the
/// system has them, or nullptr when they cannot be had. Untouched pages cost
/// address space only.
void* map_zeroed_pages(std::size_t size);

/// Gives back what `map_zeroed_pages` returned for the same `size`.
void unmap_pages(void* pages, std::size_t size);

}  // namespace quellan::platform
