#pragma once

#include <cstddef>
#include <string_view>

#include "common/bytes.h"

namespace quellan::tarn::pak {

// The searches of the XML reader's hot loops, a chunk at a time over documents
// held as `common::PaddedBytes` (see common/bytes.h).

using namespace common;  // NOLINT(google-build-using-namespace): the byte tools are this layer's vocabulary

/// The bytes after which a value is no longer its own text: a reference starts
/// at `&`, and a byte above ASCII must be checked for UTF-8.
struct EscapeOrNonAscii {
  static unsigned mask_in(Chunk chunk) { return non_ascii_mask_of(chunk) | mask_of<'&'>(chunk); }
};

/// Where a quoted value that starts at `from` ends: the offset of the first
/// `Quote` at or after `from`, or npos. `plain` tells whether the bytes before it
/// are all ASCII and hold no `&`, the usual value, which then needs neither
/// unescaping nor a UTF-8 check.
template <char Quote>
std::size_t find_value_end(std::string_view text, std::size_t from, bool& plain) {
  unsigned special_before = 0;
  for (; from < text.size(); from += CHUNK) {
    const Chunk chunk = load_chunk(text.data() + from);
    const unsigned special = EscapeOrNonAscii::mask_in(chunk);
    if (const unsigned quotes = mask_of<Quote>(chunk); quotes != 0) {
      const std::size_t end = from + first_bit(quotes);
      plain = (special_before | (special & (quotes - 1) & ~quotes)) == 0;
      return end < text.size() ? end : std::string_view::npos;
    }
    special_before |= special;
  }
  return std::string_view::npos;
}

namespace xml_scan_detail {

/// Each bit of `mask` set to the parity of the bits at and below it: for the
/// quotes of a chunk, the bytes from an opening quote up to its closing one.
inline unsigned prefix_parity(unsigned mask) {
  mask ^= mask << 1;
  mask ^= mask << 2;
  mask ^= mask << 4;
  mask ^= mask << 8;
  return mask & low_bits(CHUNK);
}

/// `find_tag_end` a quote at a time, for text that mixes both quotes.
inline std::size_t find_tag_end_by_quotes(std::string_view text, std::size_t from) {
  for (;;) {
    const std::size_t found = find_first_in<Quote::With<'>'>>(text, from);
    if (found == std::string_view::npos || text[found] == '>') return found;
    const std::size_t close = text[found] == '"' ? find_any_of<'"'>(text, found + 1)
                                                 : find_any_of<'\''>(text, found + 1);
    if (close == std::string_view::npos) return close;
    from = close + 1;
  }
}

}  // namespace xml_scan_detail

/// The offset of the `>` that ends the tag whose content starts at `from`: the
/// first one outside a quoted value, where a `'` or `"` opens a quote that only
/// the same byte closes. npos when the text ends first.
///
/// Tags of many attributes hold a quote every few bytes. Where a chunk holds
/// `"` quotes only, the bytes inside them are the parity of the quotes before,
/// so the chunk is settled at once, whatever number of values it holds; a
/// chunk with a `'` is read a quote at a time from where it starts.
inline std::size_t find_tag_end(std::string_view text, std::size_t from) {
  unsigned open = 0;  // all ones inside a `"` quote left open by the chunks before
  for (; from < text.size(); from += CHUNK) {
    const Chunk chunk = load_chunk(text.data() + from);
    if (mask_of<'\''>(chunk) != 0) {
      if (open == 0) return xml_scan_detail::find_tag_end_by_quotes(text, from);
      const std::size_t close = find_any_of<'"'>(text, from);
      return close == std::string_view::npos ? close : xml_scan_detail::find_tag_end_by_quotes(text, close + 1);
    }
    const unsigned inside = xml_scan_detail::prefix_parity(mask_of<'"'>(chunk)) ^ open;
    if (const unsigned ends = mask_of<'>'>(chunk) & ~inside; ends != 0) {
      const std::size_t found = from + first_bit(ends);
      return found < text.size() ? found : std::string_view::npos;
    }
    open = (inside & (1u << (CHUNK - 1))) != 0 ? low_bits(CHUNK) : 0;
  }
  return std::string_view::npos;
}

/// The offset of the first white-space byte of `text` at or after `from`, or npos.
inline std::size_t find_white_space(std::string_view text, std::size_t from) {
  return find_first_in<WhiteSpace>(text, from);
}

/// `skip_white_space` for the long runs of indentation between tags, which it
/// passes a chunk at a time. Tags that follow each other with nothing between
/// them are passed at the cost of one byte's test.
inline std::size_t skip_indentation(std::string_view text, std::size_t from) {
  if (from < text.size() && !is_white_space(text[from])) return from;
  return skip_all_in<WhiteSpace>(text, from);
}

}  // namespace quellan::tarn::pak
