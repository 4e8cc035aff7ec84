#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quellan::common {

/// The project's one UTF-8 decoder. "Well-formed" is Unicode's definition: no
/// overlong forms, no surrogates, nothing above U+10FFFF.

/// One decoded character: its code point and how many bytes encode it.
struct DecodedCharacter {
  char32_t code_point;
  std::size_t length;
};

/// The well-formed sequence at the start of `bytes` (which must not be empty), or
/// nullopt with `invalid_length` set to the length of the longest prefix of a
/// sequence found there, the bytes a lossy conversion replaces.
[[nodiscard]] std::optional<DecodedCharacter> decode_first(std::string_view bytes, std::size_t& invalid_length);

/// Whether all of `bytes` is well-formed UTF-8. Runs of ASCII are checked a word
/// at a time.
bool is_well_formed_utf8(std::string_view bytes);

/// Appends the UTF-8 encoding of `code_point`, a Unicode scalar value.
void append_utf8(std::string& text, char32_t code_point);

}  // namespace quellan::common
