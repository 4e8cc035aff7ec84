#include "tarn/pak/xml_syntax.h"

namespace quellan::tarn::pak {

std::string_view trim_xml_white_space_end(std::string_view text) {
  while (!text.empty() && is_xml_white_space(text.back())) text.remove_suffix(1);
  return text;
}

std::size_t find_tag_end(std::string_view text, std::size_t from) {
  for (;;) {
    const std::size_t found = find_any_of<'>', '"', '\''>(text, from);
    if (found == std::string_view::npos || text[found] == '>') return found;
    const std::size_t close = text[found] == '"' ? find_any_of<'"'>(text, found + 1)
                                                 : find_any_of<'\''>(text, found + 1);
    if (close == std::string_view::npos) return close;
    from = close + 1;
  }
}

bool closes_every_quote(std::string_view text) {
  char open_quote = 0;
  for (const char c : text) {
    if (open_quote == 0 && is_quote(c)) {
      open_quote = c;
    } else if (c == open_quote) {
      open_quote = 0;
    }
  }
  return open_quote == 0;
}

}  // namespace quellan::tarn::pak
