#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace quellan::common {

/// Reads the little-endian unsigned integer stored at `bytes`, which must hold
/// at least sizeof(T) readable bytes: the platform's own order (common/bytes.h).
template <std::unsigned_integral T>
T load_little_endian(const char* bytes) {
  T value;
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

/// The word that `load_little_endian<std::uint64_t>` reads from up to eight
/// bytes `bytes` followed by zero bytes: a constant to compare loaded words with.
constexpr std::uint64_t little_endian_word(std::string_view bytes) {
  std::uint64_t word = 0;
  for (std::size_t i = bytes.size(); i-- > 0;) word = (word << 8) | static_cast<unsigned char>(bytes[i]);
  return word;
}

}  // namespace quellan::common
