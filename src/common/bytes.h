#pragma once

// The byte-level tools of every reader: the platform they assume, words of
// eight bytes, chunks of sixteen, and the named classes of bytes that the
// grammars are made of. SSE2 is used here and in the LZ4 copies, nowhere else.

#if !(defined(__x86_64__) || defined(_M_X64)) || !defined(__SSE2__)
#error "quellan_formats is built for x86-64 with SSE2, a little-endian platform"
#endif

#include <emmintrin.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace quellan::common {

static_assert(std::endian::native == std::endian::little);

// ---------------------------------------------------------------- words

inline constexpr std::size_t WORD = sizeof(std::uint64_t);

/// The eight bytes at `bytes` as one integer, the first byte lowest.
inline std::uint64_t load_word(const char* bytes) {
  std::uint64_t word;
  std::memcpy(&word, bytes, sizeof word);
  return word;
}

/// The first `n` bytes of `word` (0 <= n <= WORD), the others zero.
constexpr std::uint64_t low_bytes(std::uint64_t word, std::size_t n) {
  return n >= WORD ? word : word & ((std::uint64_t{1} << (8 * n)) - 1);
}

// ---------------------------------------------------------------- chunks

/// Sixteen bytes, searched at once. A chunk may be loaded from any byte of a
/// `PaddedBytes` view, since its slack covers what lies past the end.
using Chunk = __m128i;
inline constexpr std::size_t CHUNK = sizeof(Chunk);

inline Chunk load_chunk(const char* bytes) { return _mm_loadu_si128(reinterpret_cast<const Chunk*>(bytes)); }

/// One bit per byte of `chunk`, set where the byte is one of `Bytes`.
template <char... Bytes>
unsigned mask_of(Chunk chunk) {
  Chunk found = _mm_setzero_si128();
  ((found = _mm_or_si128(found, _mm_cmpeq_epi8(chunk, _mm_set1_epi8(Bytes)))), ...);
  return static_cast<unsigned>(_mm_movemask_epi8(found));
}

/// One bit per byte of `chunk`, set where the byte is not ASCII.
inline unsigned non_ascii_mask_of(Chunk chunk) { return static_cast<unsigned>(_mm_movemask_epi8(chunk)); }

/// One bit per byte, set where `a` and `b` hold the same byte.
inline unsigned equal_mask_of(Chunk a, Chunk b) { return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, b))); }

/// The lowest `n` bits (0 <= n <= CHUNK), one per byte of a chunk.
constexpr unsigned low_bits(std::size_t n) { return (1u << n) - 1; }

inline std::size_t first_bit(unsigned mask) { return static_cast<std::size_t>(std::countr_zero(mask)); }

// ---------------------------------------------------------------- byte classes

/// A class of bytes, named once and tested either one byte at a time or a
/// chunk at a time.
template <char... Bytes>
struct ByteClass {
  /// One bit per byte, all below 64: tested in one shift.
  static constexpr bool contains(char c) {
    static_assert(((static_cast<unsigned char>(Bytes) < 64) && ...));
    constexpr std::uint64_t BITS = ((std::uint64_t{1} << Bytes) | ...);
    const auto byte = static_cast<unsigned char>(c);
    return byte < 64 && ((BITS >> byte) & 1) != 0;
  }
  static unsigned mask_in(Chunk chunk) { return mask_of<Bytes...>(chunk); }
  /// This class and `More` besides.
  template <char... More>
  using With = ByteClass<Bytes..., More...>;
};

/// White space is space, tab, CR and LF; nothing else counts, whatever the encoding.
using WhiteSpace = ByteClass<' ', '\t', '\r', '\n'>;
/// A key of an attribute ends at white space or `=`.
using KeyEnd = WhiteSpace::With<'='>;
/// A name in a tag ends at white space, `>`, or a quote, which no name holds.
using NameEnd = WhiteSpace::With<'>', '"', '\''>;
using Quote = ByteClass<'"', '\''>;

constexpr bool is_white_space(char c) { return WhiteSpace::contains(c); }

// ---------------------------------------------------------------- searches
// Each view searched lies in a padded buffer, so its last chunk may be loaded
// whole: nothing found past its end is reported, and no search ends in a loop
// over single bytes.

/// The offset of the first byte of `text` at or after `from` in `Class`, or npos.
template <typename Class>
std::size_t find_first_in(std::string_view text, std::size_t from) {
  for (; from < text.size(); from += CHUNK) {
    if (const unsigned mask = Class::mask_in(load_chunk(text.data() + from)); mask != 0) {
      const std::size_t found = from + first_bit(mask);
      return found < text.size() ? found : std::string_view::npos;
    }
  }
  return std::string_view::npos;
}

/// The offset of the first byte of `text` at or after `from` that is one of `Bytes`, or npos.
template <char... Bytes>
std::size_t find_any_of(std::string_view text, std::size_t from) {
  return find_first_in<ByteClass<Bytes...>>(text, from);
}

/// The offset of the first byte of `text` at or after `from` not in `Class`, or its size.
template <typename Class>
std::size_t skip_all_in(std::string_view text, std::size_t from) {
  for (; from < text.size(); from += CHUNK) {
    if (const unsigned mask = ~Class::mask_in(load_chunk(text.data() + from)) & low_bits(CHUNK); mask != 0) {
      return std::min(from + first_bit(mask), text.size());
    }
  }
  return text.size();
}

/// The offset of the first `marker` of `text` at or after `from`, or npos: its
/// first byte is looked for a chunk at a time, the rest compared where it is.
inline std::size_t find_marker(std::string_view text, std::size_t from, std::string_view marker) {
  const Chunk first = _mm_set1_epi8(marker.front());
  for (; from < text.size(); from += CHUNK) {
    for (unsigned mask = equal_mask_of(load_chunk(text.data() + from), first); mask != 0; mask &= mask - 1) {
      const std::size_t found = from + first_bit(mask);
      if (text.size() - found < marker.size()) return std::string_view::npos;
      if (std::equal(marker.begin(), marker.end(), text.begin() + static_cast<std::ptrdiff_t>(found))) return found;
    }
  }
  return std::string_view::npos;
}

/// Whether the `size` bytes at `a` equal those at `b`, both in padded buffers:
/// a chunk at a time, the last one cut to the bytes that count.
inline bool same_bytes(const char* a, const char* b, std::size_t size) {
  for (;; a += CHUNK, b += CHUNK, size -= CHUNK) {
    const unsigned equal = equal_mask_of(load_chunk(a), load_chunk(b));
    if (size <= CHUNK) return (~equal & low_bits(size)) == 0;
    if (equal != low_bits(CHUNK)) return false;
  }
}

/// The offset of the first byte of `text` at or after `from` that is not white
/// space, or its size: a byte at a time, for the short runs between attributes.
inline std::size_t skip_white_space(std::string_view text, std::size_t from) {
  while (from < text.size() && is_white_space(text[from])) ++from;
  return from;
}

}  // namespace quellan::common
