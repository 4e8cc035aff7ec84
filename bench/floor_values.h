#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

// How the description floor reads an attribute's value: its UTF-8 and references,
// its white space, and the decimal numbers of the numeric fields.
namespace quellan::bench {

/// The value as text: `raw` itself when it holds no reference, else its
/// expansion in `scratch`; nothing when it is not UTF-8 or holds a reference
/// that does not read.
std::optional<std::string_view> unescape(std::string_view raw, std::string& scratch);

/// `text` without the Unicode white space at its ends.
std::string_view trimmed(std::string_view text);

// A decimal of at most 19 digits (leading zeros passed over) cannot pass 2^64, so
// it is summed without a check and then held to the type's range.
template <class T>
std::optional<T> decimal(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || (text[0] == '-' && std::numeric_limits<T>::is_signed))) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  std::size_t zeros = 0;
  while (zeros + 1 < text.size() && text[zeros] == '0') ++zeros;
  text.remove_prefix(zeros);
  if (text.size() > 20) return std::nullopt;
  std::uint64_t magnitude = 0;
  for (const char c : text.substr(0, 19)) {
    if (c < '0' || c > '9') return std::nullopt;
    magnitude = magnitude * 10 + std::uint64_t(c - '0');
  }
  if (text.size() == 20) {
    const char c = text[19];
    if (c < '0' || c > '9' || __builtin_mul_overflow(magnitude, 10u, &magnitude) ||
        __builtin_add_overflow(magnitude, std::uint64_t(c - '0'), &magnitude))
      return std::nullopt;
  }
  using Limits = std::numeric_limits<T>;
  if (!negative) {
    if (magnitude > std::uint64_t(Limits::max())) return std::nullopt;
    return T(magnitude);
  }
  if (magnitude > std::uint64_t(Limits::max()) + 1) return std::nullopt;
  return T(0 - magnitude);
}

}  // namespace quellan::bench
