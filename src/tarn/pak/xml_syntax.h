#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace quellan::tarn::pak {

/// The byte classes of the XML reader's own grammar, shared by the reader, its
/// attribute cursor and the unescaping of values. White space is the four bytes
/// space, tab, CR and LF; nothing else counts, whatever the encoding.

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

inline constexpr ByteSet XML_WHITE_SPACE(" \t\r\n");

constexpr bool is_xml_white_space(char c) { return XML_WHITE_SPACE.contains(c); }

constexpr bool is_quote(char c) { return c == '"' || c == '\''; }

/// The offset of the first byte of `text` at or after `from` that is in `set`, or
/// the size of `text`.
inline std::size_t find_first_in(std::string_view text, std::size_t from, const ByteSet& set) {
  while (from < text.size() && !set.contains(text[from])) ++from;
  return from;
}

/// The offset of the first white-space byte of `text` at or after `from`, or its size.
inline std::size_t find_white_space(std::string_view text, std::size_t from) {
  return find_first_in(text, from, XML_WHITE_SPACE);
}

/// The offset of the first byte of `text` at or after `from` that is not white
/// space, or its size. For the short runs between attributes.
inline std::size_t skip_white_space(std::string_view text, std::size_t from) {
  while (from < text.size() && is_xml_white_space(text[from])) ++from;
  return from;
}

/// `skip_white_space` for the long runs of indentation between tags, which it
/// passes a word at a time.
std::size_t skip_indentation(std::string_view text, std::size_t from);

/// `text` without white space at its end.
std::string_view trim_xml_white_space_end(std::string_view text);

/// `text` without white space at either end.
std::string_view trim_xml_white_space(std::string_view text);

/// The offset of the `>` that ends the tag whose content starts at `from`: the
/// first one outside a quoted value, where a `'` or `"` opens a quote that only the
/// same character closes. npos when the text ends first.
std::size_t find_tag_end(std::string_view text, std::size_t from);

/// Whether `text` leaves no quote open, reading quotes as `find_tag_end` does.
bool closes_every_quote(std::string_view text);

}  // namespace quellan::tarn::pak
