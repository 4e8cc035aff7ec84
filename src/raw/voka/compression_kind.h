#pragma once

#include <cstdint>

namespace quellan::raw::voka {

/// How a stored file's bytes are compressed: the low four bits of its table flags.
enum class CompressionKind : std::uint8_t { None = 0, Zlib = 1, Lz4 = 2, Zstd = 3 };

}  // namespace quellan::raw::voka
