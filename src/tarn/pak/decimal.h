#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

namespace quellan::tarn::pak {

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
  for (std::size_t i = 0; i < text.size(); ++i) {
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
