#pragma once

#include <bit>
#include <concepts>
#include <cstring>

namespace quellan::common {

/// Reads the little-endian unsigned integer stored at `bytes`, which must hold
/// at least sizeof(T) readable bytes.
template <std::unsigned_integral T>
T load_little_endian(const char* bytes) {
  T value;
  std::memcpy(&value, bytes, sizeof value);
  if constexpr (std::endian::native == std::endian::big) value = std::byteswap(value);
  return value;
}

}  // namespace quellan::common
