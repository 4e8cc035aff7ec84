#pragma once

#include <cstdint>
#include <optional>

namespace quellan::platform {

/// 64 random bits from the system without waiting for its pool, or nullopt where
/// the call is refused: an old kernel, a filter that forbids it, a pool not yet
/// ready at boot.
std::optional<std::uint64_t> kernel_random_bits();

}  // namespace quellan::platform
