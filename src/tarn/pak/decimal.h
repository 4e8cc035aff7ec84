#pragma once

#include <charconv>
#include <concepts>
#include <optional>
#include <string_view>
#include <system_error>

namespace quellan::tarn::pak {

/// Reads all of `text` as a decimal number of type `Number`: one optional sign ("+",
/// or "-" for signed types only), then one or more ASCII digits and nothing else.
/// Leading zeros are allowed. Fails (nullopt) on any other text and on a value that
/// does not fit `Number`.
template <std::integral Number>
[[nodiscard]] std::optional<Number> read_decimal(std::string_view text) {
  if (text.starts_with('+')) {
    text.remove_prefix(1);
    // from_chars takes a "-" of its own; after a "+" that would be a second sign.
    if (text.starts_with('-')) return std::nullopt;
  }
  Number value{};
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, value, 10);
  if (error != std::errc{} || stop != end) return std::nullopt;
  return value;
}

}  // namespace quellan::tarn::pak
