#pragma once

#include <emmintrin.h>

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/byte_buffer.h"

namespace quellan::tarn::pak {

/// The byte classes of the XML reader's own grammar, and the byte searches for its
/// hot loops, sixteen bytes at a time with SSE2, which every x86-64 processor has. Every view they search lies in a
/// document held as `common::PaddedBytes`, so a chunk may be loaded at any offset
/// before the view's end: what it reads past the end is the document's own bytes
/// or its slack, and nothing found there is reported. No search ends in a loop
/// over single bytes.

namespace byte_scan_detail {

inline constexpr std::size_t CHUNK = sizeof(__m128i);
static_assert(CHUNK <= common::ByteBuffer::SLACK);

inline __m128i load_chunk(const char* bytes) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes));
}

/// One bit per byte of `chunk`, set where the byte is one of `Bytes`.
template <char... Bytes>
unsigned mask_of(__m128i chunk) {
  __m128i found = _mm_setzero_si128();
  ((found = _mm_or_si128(found, _mm_cmpeq_epi8(chunk, _mm_set1_epi8(Bytes)))), ...);
  return static_cast<unsigned>(_mm_movemask_epi8(found));
}

/// One bit per byte of `chunk`, set where the byte is not ASCII.
inline unsigned non_ascii_mask_of(__m128i chunk) {
  return static_cast<unsigned>(_mm_movemask_epi8(chunk));
}

inline std::size_t first_bit(unsigned mask) { return static_cast<std::size_t>(std::countr_zero(mask)); }

}  // namespace byte_scan_detail

/// The offset of the first byte of `text` at or after `from` that is one of
/// `Bytes`, or npos.
template <char... Bytes>
std::size_t find_any_of(std::string_view text, std::size_t from) {
  using namespace byte_scan_detail;
  for (; from < text.size(); from += CHUNK) {
    if (const unsigned mask = mask_of<Bytes...>(load_chunk(text.data() + from)); mask != 0) {
      const std::size_t found = from + first_bit(mask);
      return found < text.size() ? found : std::string_view::npos;
    }
  }
  return std::string_view::npos;
}

/// The offset of the first `marker` of `text` at or after `from`, or npos: its
/// first byte is looked for a chunk at a time, the rest compared where it is.
inline std::size_t find_marker(std::string_view text, std::size_t from, std::string_view marker) {
  using namespace byte_scan_detail;
  const __m128i first = _mm_set1_epi8(marker.front());
  for (; from < text.size(); from += CHUNK) {
    for (auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(load_chunk(text.data() + from), first)));
         mask != 0; mask &= mask - 1) {
      const std::size_t found = from + first_bit(mask);
      if (text.size() - found < marker.size()) return std::string_view::npos;
      if (std::equal(marker.begin(), marker.end(), text.begin() + static_cast<std::ptrdiff_t>(found))) return found;
    }
  }
  return std::string_view::npos;
}

/// The offset of the first byte of `text` at or after `from` that is not one of
/// `Bytes`, or the size of `text`.
template <char... Bytes>
std::size_t skip_all_of(std::string_view text, std::size_t from) {
  using namespace byte_scan_detail;
  for (; from < text.size(); from += CHUNK) {
    if (const unsigned mask = ~mask_of<Bytes...>(load_chunk(text.data() + from)) & 0xFFFFu; mask != 0) {
      const std::size_t found = from + first_bit(mask);
      return found < text.size() ? found : text.size();
    }
  }
  return text.size();
}

/// Where a quoted value that starts at `from` ends: the offset of the first
/// `Quote` at or after `from`, or npos. `plain` tells whether the bytes before it
/// are all ASCII and hold no `&`, the usual value, which then needs neither
/// unescaping nor a UTF-8 check.
template <char Quote>
std::size_t find_value_end(std::string_view text, std::size_t from, bool& plain) {
  using namespace byte_scan_detail;
  unsigned special_before = 0;
  for (; from < text.size(); from += CHUNK) {
    const __m128i chunk = load_chunk(text.data() + from);
    const unsigned special = non_ascii_mask_of(chunk) | mask_of<'&'>(chunk);
    if (const unsigned quotes = mask_of<Quote>(chunk); quotes != 0) {
      const std::size_t end = from + first_bit(quotes);
      plain = (special_before | (special & (quotes - 1) & ~quotes)) == 0;
      return end < text.size() ? end : std::string_view::npos;
    }
    special_before |= special;
  }
  return std::string_view::npos;
}

namespace byte_scan_detail {

/// Each bit of `mask` set to the parity of the bits at and below it: for the
/// quotes of a chunk, the bytes from an opening quote up to its closing one.
inline unsigned prefix_parity(unsigned mask) {
  mask ^= mask << 1;
  mask ^= mask << 2;
  mask ^= mask << 4;
  mask ^= mask << 8;
  return mask & 0xFFFFu;
}

/// `find_tag_end` a quote at a time, for text that mixes both quotes.
inline std::size_t find_tag_end_by_quotes(std::string_view text, std::size_t from) {
  for (;;) {
    const std::size_t found = find_any_of<'>', '"', '\''>(text, from);
    if (found == std::string_view::npos || text[found] == '>') return found;
    const std::size_t close = text[found] == '"' ? find_any_of<'"'>(text, found + 1)
                                                 : find_any_of<'\''>(text, found + 1);
    if (close == std::string_view::npos) return close;
    from = close + 1;
  }
}

}  // namespace byte_scan_detail

/// The offset of the `>` that ends the tag whose content starts at `from`: the
/// first one outside a quoted value, where a `'` or `"` opens a quote that only
/// the same byte closes. npos when the text ends first.
///
/// Tags of many attributes hold a quote every few bytes. Where a chunk holds
/// `"` quotes only, the bytes inside them are the parity of the quotes before,
/// so the chunk is settled at once, whatever number of values it holds; a
/// chunk with a `'` is read a quote at a time from where it starts.
inline std::size_t find_tag_end(std::string_view text, std::size_t from) {
  using namespace byte_scan_detail;
  unsigned open = 0;  // all ones inside a `"` quote left open by the chunks before
  for (; from < text.size(); from += CHUNK) {
    const __m128i chunk = load_chunk(text.data() + from);
    if (mask_of<'\''>(chunk) != 0) {
      if (open == 0) return find_tag_end_by_quotes(text, from);
      const std::size_t close = find_any_of<'"'>(text, from);
      return close == std::string_view::npos ? close : find_tag_end_by_quotes(text, close + 1);
    }
    const unsigned inside = prefix_parity(mask_of<'"'>(chunk)) ^ open;
    if (const unsigned ends = mask_of<'>'>(chunk) & ~inside; ends != 0) {
      const std::size_t found = from + first_bit(ends);
      return found < text.size() ? found : std::string_view::npos;
    }
    open = (inside & 0x8000u) != 0 ? 0xFFFFu : 0;
  }
  return std::string_view::npos;
}

/// White space is the four bytes space, tab, CR and LF; nothing else counts,
/// whatever the encoding. The reader, its attribute cursor and the unescaping of
/// values share these classes.
constexpr bool is_xml_white_space(char c) {
  // One bit per white-space byte below 64, tested in one shift.
  constexpr std::uint64_t WHITE_SPACE = (1ull << ' ') | (1ull << '\t') | (1ull << '\r') | (1ull << '\n');
  const auto byte = static_cast<unsigned char>(c);
  return byte < 64 && ((WHITE_SPACE >> byte) & 1) != 0;
}

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
/// passes a chunk at a time. Tags that follow each other with nothing between
/// them are passed at the cost of one byte's test.
inline std::size_t skip_indentation(std::string_view text, std::size_t from) {
  if (from < text.size() && !is_xml_white_space(text[from])) return from;
  return skip_all_of<' ', '\n', '\t', '\r'>(text, from);
}

/// Whether the `size` bytes at `a` equal those at `b`, both in padded documents:
/// a chunk at a time, the last one cut to the bytes that count.
inline bool same_bytes(const char* a, const char* b, std::size_t size) {
  using namespace byte_scan_detail;
  for (;; a += CHUNK, b += CHUNK, size -= CHUNK) {
    const auto equal = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(load_chunk(a), load_chunk(b))));
    if (size <= CHUNK) return (~equal & ((1u << size) - 1)) == 0;
    if (equal != 0xFFFFu) return false;
  }
}

}  // namespace quellan::tarn::pak
