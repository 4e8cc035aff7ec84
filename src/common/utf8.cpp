#include "common/utf8.h"

#include "common/bytes.h"

#include <cstdint>


namespace quellan::common {

namespace {

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

bool is_ascii_run(const char* bytes) { return non_ascii_mask_of(load_chunk(bytes)) == 0; }

}  // namespace

std::optional<DecodedCharacter> decode_first(std::string_view bytes, std::size_t& invalid_length) {
  auto at = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
  const std::size_t width = sequence_width(at(0));
  invalid_length = 1;
  if (width == 0) return std::nullopt;
  char32_t code_point = width == 1 ? at(0) : at(0) & (0x7Fu >> width);
  for (std::size_t i = 1; i < width; ++i) {
    const bool allowed =
        i < bytes.size() && (i == 1 ? second_byte_allowed(at(0), at(1)) : is_continuation(at(i)));
    if (!allowed) {
      invalid_length = i;
      return std::nullopt;
    }
    code_point = (code_point << 6) | (at(i) & 0x3Fu);
  }
  return DecodedCharacter{code_point, width};
}

bool is_well_formed_utf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    if (bytes.size() - i >= CHUNK) {
      if (is_ascii_run(bytes.data() + i)) {
        i += CHUNK;
        continue;
      }
    }
    if (static_cast<std::uint8_t>(bytes[i]) < 0x80) {
      ++i;
      continue;
    }
    std::size_t invalid_length = 0;
    std::optional<DecodedCharacter> character = decode_first(bytes.substr(i), invalid_length);
    if (!character) return false;
    i += character->length;
  }
  return true;
}

void append_utf8(std::string& text, char32_t code_point) {
  auto byte = [](char32_t bits) { return static_cast<char>(bits); };
  if (code_point < 0x80) {
    text += byte(code_point);
  } else if (code_point < 0x800) {
    text += byte(0xC0 | (code_point >> 6));
    text += byte(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    text += byte(0xE0 | (code_point >> 12));
    text += byte(0x80 | ((code_point >> 6) & 0x3F));
    text += byte(0x80 | (code_point & 0x3F));
  } else {
    text += byte(0xF0 | (code_point >> 18));
    text += byte(0x80 | ((code_point >> 12) & 0x3F));
    text += byte(0x80 | ((code_point >> 6) & 0x3F));
    text += byte(0x80 | (code_point & 0x3F));
  }
}

}  // namespace quellan::common
