#include "platform/pages.h"

#include <sys/mman.h>

namespace quellan::platform {

void* map_zeroed_pages(std::size_t size) {
  void* pages = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (pages == MAP_FAILED) return nullptr;
  // Only advice: where huge pages are off or unsupported, small pages serve the
  // same. The kernel aligns a mapping to huge pages only when its length is a
  // multiple of their size, which callers round up to.
  (void)::madvise(pages, size, MADV_HUGEPAGE);
  return pages;
}

void unmap_pages(void* pages, std::size_t size) { ::munmap(pages, size); }

}  // namespace quellan::platform
