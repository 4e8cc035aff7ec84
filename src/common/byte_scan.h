#pragma once

#include <bit>
#include <cstddef>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quellan::common {

/// The offset of the first byte of `text` at or after `from` that is one of
/// `Bytes`, or npos. Sixteen bytes are tested at a time with SSE2 (which every
/// x86-64 processor has): the hot loops of the XML reader are made of these
/// searches, and most of them end within a few dozen bytes.
template <char... Bytes>
std::size_t find_any_of(std::string_view text, std::size_t from) {
  const char* const data = text.data();
#if defined(__SSE2__)
  constexpr std::size_t CHUNK = sizeof(__m128i);
  for (; from + CHUNK <= text.size(); from += CHUNK) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + from));
    __m128i found = _mm_setzero_si128();
    ((found = _mm_or_si128(found, _mm_cmpeq_epi8(chunk, _mm_set1_epi8(Bytes)))), ...);
    if (const int mask = _mm_movemask_epi8(found); mask != 0) {
      return from + static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(mask)));
    }
  }
#endif
  for (; from < text.size(); ++from) {
    if (((data[from] == Bytes) || ...)) return from;
  }
  return std::string_view::npos;
}

/// Whether `text` is ASCII without any of `Bytes`, in one pass.
template <char... Bytes>
bool is_ascii_without(std::string_view text) {
  const char* const data = text.data();
  std::size_t i = 0;
#if defined(__SSE2__)
  constexpr std::size_t CHUNK = sizeof(__m128i);
  for (; i + CHUNK <= text.size(); i += CHUNK) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    __m128i found = chunk;  // the sign bits are the bytes that are not ASCII
    ((found = _mm_or_si128(found, _mm_cmpeq_epi8(chunk, _mm_set1_epi8(Bytes)))), ...);
    if (_mm_movemask_epi8(found) != 0) return false;
  }
#endif
  for (; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(data[i]) & 0x80) != 0 || ((data[i] == Bytes) || ...)) return false;
  }
  return true;
}

}  // namespace quellan::common
