#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quellan::common {

/// Byte searches for the hot loops of the XML reader, sixteen bytes at a time with
/// SSE2 (which every x86-64 processor has); most of them end within a few dozen
/// bytes. Each takes `readable`, how many bytes from `text.data()` on may be read:
/// a view into a larger buffer lets whole chunks be loaded past its end, so that a
/// search rarely ends in a loop over single bytes.

namespace byte_scan_detail {

#if defined(__SSE2__)
inline constexpr std::size_t CHUNK = sizeof(__m128i);

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
#endif

template <char... Bytes>
bool is_one_of(char c) {
  return ((c == Bytes) || ...);
}

}  // namespace byte_scan_detail

/// The offset of the first byte of `text` at or after `from` that is one of
/// `Bytes`, or npos.
template <char... Bytes>
std::size_t find_any_of(std::string_view text, std::size_t from, std::size_t readable) {
  using namespace byte_scan_detail;
#if defined(__SSE2__)
  for (; from < text.size() && from + CHUNK <= readable; from += CHUNK) {
    if (const unsigned mask = mask_of<Bytes...>(load_chunk(text.data() + from)); mask != 0) {
      const std::size_t found = from + first_bit(mask);
      return found < text.size() ? found : std::string_view::npos;
    }
  }
#endif
  for (; from < text.size(); ++from) {
    if (is_one_of<Bytes...>(text[from])) return from;
  }
  return std::string_view::npos;
}

/// The offset of the first byte of `text` at or after `from` that is not one of
/// `Bytes`, or the size of `text`.
template <char... Bytes>
std::size_t skip_all_of(std::string_view text, std::size_t from, std::size_t readable) {
  using namespace byte_scan_detail;
#if defined(__SSE2__)
  for (; from < text.size() && from + CHUNK <= readable; from += CHUNK) {
    if (const unsigned mask = ~mask_of<Bytes...>(load_chunk(text.data() + from)) & 0xFFFFu; mask != 0) {
      const std::size_t found = from + first_bit(mask);
      return found < text.size() ? found : text.size();
    }
  }
#endif
  while (from < text.size() && is_one_of<Bytes...>(text[from])) ++from;
  return std::min(from, text.size());
}

/// Where a quoted value that starts at `from` ends: the offset of the first
/// `Quote` at or after `from`, or npos. `plain` tells whether the bytes before it
/// are all ASCII and hold no `&`, the usual value, which then needs no unescaping.
template <char Quote>
std::size_t find_value_end(std::string_view text, std::size_t from, std::size_t readable,
                           bool& plain) {
  using namespace byte_scan_detail;
  plain = true;
#if defined(__SSE2__)
  for (; from < text.size() && from + CHUNK <= readable; from += CHUNK) {
    const __m128i chunk = load_chunk(text.data() + from);
    const unsigned special = non_ascii_mask_of(chunk) | mask_of<'&'>(chunk);
    if (const unsigned quotes = mask_of<Quote>(chunk); quotes != 0) {
      const std::size_t end = from + first_bit(quotes);
      plain = plain && (special & ((1u << first_bit(quotes)) - 1)) == 0;
      return end < text.size() ? end : std::string_view::npos;
    }
    plain = plain && special == 0;
  }
#endif
  for (; from < text.size(); ++from) {
    const char c = text[from];
    if (c == Quote) return from;
    plain = plain && (static_cast<unsigned char>(c) & 0x80) == 0 && c != '&';
  }
  return std::string_view::npos;
}

}  // namespace quellan::common
