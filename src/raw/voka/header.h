#pragma once

#include <array>
#include <cstdint>

namespace quellan::raw::voka {

// A package starts with a 16-byte header, all integers little-endian:
//   0  4 bytes  magic, VOKA_ID_BYTES
//   4  u32      format version
//   8  u64      absolute offset of the file table ("footer")

/// The magic every package starts with.
inline constexpr std::array<std::uint8_t, 4> VOKA_ID_BYTES = {'V', 'O', 'K', 'A'};

/// The oldest format version whose layout this library reads.
inline constexpr std::uint32_t MIN_SUPPORTED_VERSION = 18;

}  // namespace quellan::raw::voka
