#include "tarn/pak/xml_syntax.h"

#include <array>
#include <cstring>

namespace quellan::tarn::pak {

namespace {

/// A set of bytes, tested with one load.
class ByteSet {
 public:
  constexpr explicit ByteSet(std::string_view members) {
    for (const char c : members) contains_[static_cast<unsigned char>(c)] = true;
  }
  constexpr bool contains(char c) const { return contains_[static_cast<unsigned char>(c)]; }

 private:
  std::array<bool, 256> contains_{};
};

constexpr ByteSet WHITE_SPACE(" \t\r\n");
constexpr ByteSet TAG_END_OR_QUOTE(">\"'");

/// The offset of the first byte of `text` at or after `from` that is in `set`, or npos.
std::size_t find_in(std::string_view text, std::size_t from, const ByteSet& set) {
  const char* const data = text.data();
  const std::size_t size = text.size();
  for (std::size_t i = from; i < size; ++i) {
    if (set.contains(data[i])) return i;
  }
  return std::string_view::npos;
}

}  // namespace

std::size_t find_white_space(std::string_view text, std::size_t from) {
  const std::size_t found = find_in(text, from, WHITE_SPACE);
  return found == std::string_view::npos ? text.size() : found;
}

std::size_t skip_white_space(std::string_view text, std::size_t from) {
  while (from < text.size() && is_xml_white_space(text[from])) ++from;
  return from;
}

std::string_view trim_xml_white_space_end(std::string_view text) {
  while (!text.empty() && is_xml_white_space(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view trim_xml_white_space(std::string_view text) {
  text = trim_xml_white_space_end(text);
  while (!text.empty() && is_xml_white_space(text.front())) text.remove_prefix(1);
  return text;
}

std::size_t find_tag_end(std::string_view text, std::size_t from) {
  for (;;) {
    const std::size_t found = find_in(text, from, TAG_END_OR_QUOTE);
    if (found == std::string_view::npos || text[found] == '>') return found;
    const void* close = std::memchr(text.data() + found + 1, text[found], text.size() - found - 1);
    if (close == nullptr) return std::string_view::npos;
    from = static_cast<std::size_t>(static_cast<const char*>(close) - text.data()) + 1;
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
