#include "support/memory_ceiling.h"

#ifdef _WIN32

namespace quellan::test_support {

MemoryCeiling::MemoryCeiling(std::size_t) {}
MemoryCeiling::~MemoryCeiling() = default;

}  // namespace quellan::test_support

#else

#include <unistd.h>

#include <fstream>

namespace quellan::test_support {

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool UNDER_ADDRESS_SANITIZER = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool UNDER_ADDRESS_SANITIZER = true;
#else
constexpr bool UNDER_ADDRESS_SANITIZER = false;
#endif
#else
constexpr bool UNDER_ADDRESS_SANITIZER = false;
#endif

// The first field of /proc/self/statm is the size of the address space in pages.
std::size_t address_space_in_use() {
  std::size_t pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  return pages * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

}  // namespace

MemoryCeiling::MemoryCeiling(std::size_t headroom) {
  if (UNDER_ADDRESS_SANITIZER || ::getrlimit(RLIMIT_AS, &previous_) != 0) return;
  rlimit lowered = previous_;
  lowered.rlim_cur = address_space_in_use() + headroom;
  if (previous_.rlim_cur != RLIM_INFINITY && lowered.rlim_cur > previous_.rlim_cur) return;
  active_ = ::setrlimit(RLIMIT_AS, &lowered) == 0;
}

MemoryCeiling::~MemoryCeiling() {
  if (active_) ::setrlimit(RLIMIT_AS, &previous_);
}

}  // namespace quellan::test_support

#endif
