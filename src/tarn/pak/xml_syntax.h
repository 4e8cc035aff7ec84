#pragma once

#include <cstddef>
#include <string_view>

#include "tarn/pak/xml_byte_scan.h"

namespace quellan::tarn::pak {

/// The byte classes of the XML reader's own grammar, shared by the reader, its
/// attribute cursor and the unescaping of values. White space is the four bytes
/// space, tab, CR and LF; nothing else counts, whatever the encoding.

constexpr bool is_xml_white_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

constexpr bool is_quote(char c) { return c == '"' || c == '\''; }

/// The offset of the first white-space byte of `text` at or after `from`, or npos.
inline std::size_t find_white_space(std::string_view text, std::size_t from) {
  return find_any_of<' ', '\t', '\r', '\n'>(text, from);
}

/// The offset of the first byte of `text` at or after `from` that is not white
/// space, or its size. For the short runs between attributes.
inline std::size_t skip_white_space(std::string_view text, std::size_t from) {
  while (from < text.size() && is_xml_white_space(text[from])) ++from;
  return from;
}

/// `skip_white_space` for the long runs of indentation between tags, which it
/// passes a chunk at a time.
inline std::size_t skip_indentation(std::string_view text, std::size_t from) {
  return skip_all_of<' ', '\n', '\t', '\r'>(text, from);
}

/// `text` without white space at its end.
std::string_view trim_xml_white_space_end(std::string_view text);

/// The offset of the `>` that ends the tag whose content starts at `from`: the
/// first one outside a quoted value, where a `'` or `"` opens a quote that only the
/// same character closes. npos when the text ends first.
std::size_t find_tag_end(std::string_view text, std::size_t from);

/// Whether `text` leaves no quote open, reading quotes as `find_tag_end` does.
bool closes_every_quote(std::string_view text);

}  // namespace quellan::tarn::pak
