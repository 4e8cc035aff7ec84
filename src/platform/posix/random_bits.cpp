#include "platform/random_bits.h"

#include <sys/random.h>

#include <cerrno>
#include <cstddef>

namespace quellan::platform {

std::optional<std::uint64_t> kernel_random_bits() {
  std::uint64_t bits = 0;
  auto* bytes = reinterpret_cast<unsigned char*>(&bits);
  std::size_t filled = 0;
  while (filled < sizeof bits) {
    const ssize_t got = getrandom(bytes + filled, sizeof bits - filled, GRND_NONBLOCK);
    if (got > 0) {
      filled += static_cast<std::size_t>(got);
    } else if (got == 0 || errno != EINTR) {
      return std::nullopt;
    }
  }
  return bits;
}

}  // namespace quellan::platform
