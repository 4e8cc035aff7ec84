#include "tarn/pak/white_space.h"

#include <cstddef>
#include <optional>

#include "common/utf8.h"

namespace quellan::tarn::pak {

namespace {

bool is_white_space(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
         c == 0x205F || c == 0x3000;
}

// Every White_Space character is encoded in at most three UTF-8 bytes.
constexpr std::size_t LONGEST_WHITE_SPACE_BYTES = 3;

/// Whether `bytes` are exactly one well-formed sequence that encodes white space.
bool is_white_space_sequence(std::string_view bytes) {
  std::size_t invalid_length = 0;
  std::optional<common::DecodedCharacter> character = common::decode_first(bytes, invalid_length);
  return character && character->length == bytes.size() && is_white_space(character->code_point);
}

/// The byte length of the white-space character that `text` starts with, or 0.
std::size_t leading_white_space(std::string_view text) {
  for (std::size_t length = 1; length <= LONGEST_WHITE_SPACE_BYTES && length <= text.size();
       ++length) {
    if (is_white_space_sequence(text.substr(0, length))) return length;
  }
  return 0;
}

/// The byte length of the white-space character that `text` ends with, or 0.
std::size_t trailing_white_space(std::string_view text) {
  for (std::size_t length = 1; length <= LONGEST_WHITE_SPACE_BYTES && length <= text.size();
       ++length) {
    if (is_white_space_sequence(text.substr(text.size() - length))) return length;
  }
  return 0;
}

/// Whether `byte` is ASCII and no white space: a text that starts (or ends) with
/// one, as nearly every value does, has nothing to trim there.
bool is_plain_ascii_edge(char byte) { return byte > ' ' && static_cast<unsigned char>(byte) < 0x80; }

}  // namespace

std::string_view trim_white_space(std::string_view text) {
  if (!text.empty() && is_plain_ascii_edge(text.front()) && is_plain_ascii_edge(text.back())) return text;
  while (std::size_t length = leading_white_space(text)) text.remove_prefix(length);
  while (std::size_t length = trailing_white_space(text)) text.remove_suffix(length);
  return text;
}

void trim_white_space_in_place(std::string& text) {
  const std::string_view kept = trim_white_space(text);
  const auto start = static_cast<std::size_t>(kept.data() - text.data());
  text.erase(start + kept.size());
  text.erase(0, start);
}

}  // namespace quellan::tarn::pak
