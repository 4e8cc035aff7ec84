#include "common/path_text.h"

#include <cstddef>
#include <cstdint>

namespace quellan::common {

namespace {

constexpr std::string_view REPLACEMENT_CHARACTER = "\xEF\xBF\xBD";

bool is_continuation(std::uint8_t byte) { return (byte & 0xC0) == 0x80; }

// The range the second byte of a sequence must lie in, which rules out overlong
// forms, surrogates and code points above U+10FFFF.
bool second_byte_allowed(std::uint8_t lead, std::uint8_t second) {
  switch (lead) {
    case 0xE0: return second >= 0xA0 && second <= 0xBF;
    case 0xED: return second >= 0x80 && second <= 0x9F;
    case 0xF0: return second >= 0x90 && second <= 0xBF;
    case 0xF4: return second >= 0x80 && second <= 0x8F;
    default: return is_continuation(second);
  }
}

std::size_t sequence_width(std::uint8_t lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

// The length of the valid sequence at the start of `bytes`, or 0 with `invalid`
// set to the length of the longest prefix of one that must be replaced.
std::size_t valid_sequence_length(std::string_view bytes, std::size_t& invalid) {
  auto at = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
  const std::size_t width = sequence_width(at(0));
  invalid = 1;
  if (width == 0) return 0;
  for (std::size_t i = 1; i < width; ++i) {
    const bool allowed =
        i < bytes.size() && (i == 1 ? second_byte_allowed(at(0), at(1)) : is_continuation(at(i)));
    if (!allowed) {
      invalid = i;
      return 0;
    }
  }
  return width;
}

}  // namespace

std::string pathbuf_from_bytes(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  while (!bytes.empty()) {
    std::size_t invalid = 0;
    if (const std::size_t valid = valid_sequence_length(bytes, invalid); valid != 0) {
      text.append(bytes.substr(0, valid));
      bytes.remove_prefix(valid);
    } else {
      text.append(REPLACEMENT_CHARACTER);
      bytes.remove_prefix(invalid);
    }
  }
  return text;
}

}  // namespace quellan::common
