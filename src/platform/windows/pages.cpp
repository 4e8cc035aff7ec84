#include "platform/pages.h"

#include <windows.h>

namespace quellan::platform {

// Windows gives large pages only to a process holding the "lock pages in
// memory" privilege, which a Python process does not have: these are small
// pages, committed lazily and zero on first touch all the same.
void* map_zeroed_pages(std::size_t size) {
  return ::VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void unmap_pages(void* pages, std::size_t) { ::VirtualFree(pages, 0, MEM_RELEASE); }

}  // namespace quellan::platform
