#pragma once

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <cstddef>

namespace quellan::test_support {

/// Caps the process's address space at what it uses now plus `headroom` bytes
/// for as long as the object lives, so that a reader that tries to set aside
/// gigabytes on the word of a package fails visibly instead of getting lazily
/// mapped memory. Does nothing under AddressSanitizer, whose shadow memory
/// needs terabytes of address space, nor on Windows, which has no such limit.
class MemoryCeiling {
 public:
  explicit MemoryCeiling(std::size_t headroom);
  ~MemoryCeiling();
  MemoryCeiling(const MemoryCeiling&) = delete;
  MemoryCeiling& operator=(const MemoryCeiling&) = delete;

 private:
  bool active_ = false;
#ifndef _WIN32
  rlimit previous_{};
#endif
};

}  // namespace quellan::test_support
