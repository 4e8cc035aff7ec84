#pragma once

#include <sys/resource.h>

#include <cstddef>

namespace quellan::test_support {

/// Caps the process's address space at what it uses now plus `headroom` bytes
/// for as long as the object lives, so that a reader that tries to set aside
/// gigabytes on the word of a package fails visibly instead of getting lazily
/// mapped memory. Does nothing under AddressSanitizer, whose shadow memory
/// needs terabytes of address space.
class MemoryCeiling {
 public:
  explicit MemoryCeiling(std::size_t headroom);
  ~MemoryCeiling();
  MemoryCeiling(const MemoryCeiling&) = delete;
  MemoryCeiling& operator=(const MemoryCeiling&) = delete;

 private:
  bool active_ = false;
  rlimit previous_{};
};

}  // namespace quellan::test_support
