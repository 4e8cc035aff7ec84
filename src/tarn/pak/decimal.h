#pragma once

#include <algorithm>
#include <concepts>
#include <cstring>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

namespace quellan::tarn::pak {

namespace decimal_detail {

/// The number that the eight bytes at `bytes` spell when all are ASCII digits,
/// read a word at a time.
inline std::optional<std::uint32_t> eight_digits(const char* bytes) {
  std::uint64_t word;
  std::memcpy(&word, bytes, sizeof word);
  // A byte is a digit when subtracting '0' does not borrow and adding 0x46 does
  // not carry into its top bit: only 0x30 to 0x39 pass both.
  if ((((word + 0x4646464646464646u) | (word - 0x3030303030303030u)) & 0x8080808080808080u) != 0) {
    return std::nullopt;
  }
  word -= 0x3030303030303030u;
  // Little-endian: the first digit is the lowest byte. Pairs, then fours, then all.
  word = (word * 10 + (word >> 8)) & 0x00FF00FF00FF00FFu;
  word = (word * 100 + (word >> 16)) & 0x0000FFFF0000FFFFu;
  return static_cast<std::uint32_t>(word * 10000 + (word >> 32));
}

}  // namespace decimal_detail

/// Reads all of `text` as a decimal number of type `Number`: one optional sign ("+",
/// or "-" for signed types only), then one or more ASCII digits and nothing else.
/// Leading zeros are allowed. Fails (nullopt) on any other text and on a value that
/// does not fit `Number`.
template <std::integral Number>
[[nodiscard]] std::optional<Number> read_decimal(std::string_view text) {
  const bool negative = text.starts_with('-');
  if (negative && !std::is_signed_v<Number>) return std::nullopt;
  if (negative || text.starts_with('+')) text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  // The magnitude is gathered unsigned: the most negative value has one more.
  // Nineteen digits always fit; only a longer number is checked as it grows.
  const std::uint64_t limit = static_cast<std::uint64_t>(std::numeric_limits<Number>::max()) + (negative ? 1 : 0);
  static constexpr std::size_t ALWAYS_FITTING_DIGITS = 19;
  std::uint64_t magnitude = 0;
  std::size_t i = 0;
  for (; i + 8 <= std::min(text.size(), ALWAYS_FITTING_DIGITS); i += 8) {
    const std::optional<std::uint32_t> eight = decimal_detail::eight_digits(text.data() + i);
    if (!eight) return std::nullopt;
    magnitude = magnitude * 100'000'000 + *eight;
  }
  for (; i < text.size(); ++i) {
    const unsigned digit = static_cast<unsigned>(static_cast<unsigned char>(text[i])) - '0';
    if (digit > 9) return std::nullopt;
    if (i < ALWAYS_FITTING_DIGITS) {
      magnitude = magnitude * 10 + digit;
    } else if (__builtin_mul_overflow(magnitude, 10, &magnitude) ||
               __builtin_add_overflow(magnitude, digit, &magnitude)) {
      return std::nullopt;
    }
  }
  if (magnitude > limit) return std::nullopt;
  return negative ? static_cast<Number>(0 - magnitude) : static_cast<Number>(magnitude);
}

}  // namespace quellan::tarn::pak
