#include "platform/random_bits.h"

#include <windows.h>
#include <bcrypt.h>

namespace quellan::platform {

std::optional<std::uint64_t> kernel_random_bits() {
  std::uint64_t bits = 0;
  const NTSTATUS status = ::BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&bits), sizeof bits,
                                            BCRYPT_USE_SYSTEM_PREFERRED_RNG);
  if (!BCRYPT_SUCCESS(status)) return std::nullopt;
  return bits;
}

}  // namespace quellan::platform
