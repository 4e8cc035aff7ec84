#include "common/path_text.h"

#include <cstddef>
#include <optional>

#include "common/utf8.h"

namespace quellan::common {

namespace {

constexpr std::string_view REPLACEMENT_CHARACTER = "\xEF\xBF\xBD";

}  // namespace

std::string pathbuf_from_bytes(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  while (!bytes.empty()) {
    std::size_t invalid_length = 0;
    if (std::optional<DecodedCharacter> character = decode_first(bytes, invalid_length)) {
      text.append(bytes.substr(0, character->length));
      bytes.remove_prefix(character->length);
    } else {
      text.append(REPLACEMENT_CHARACTER);
      bytes.remove_prefix(invalid_length);
    }
  }
  return text;
}

}  // namespace quellan::common
