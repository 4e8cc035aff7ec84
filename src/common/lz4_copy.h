#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

// The copies of the LZ4 decoder's fast path and the geometry they share. They
// move fixed widths and may write past the bytes they are asked for, by at most
// OVERSHOOT bytes, which the fast path keeps free behind every sequence it takes
// (its MARGIN): so they never write past the room the decoder was given.
//
// A match may overlap the bytes it copies: its offset is the period of what it
// writes. Copying it forward in moves reads back bytes that were stored a moment
// before, and a load that spans stores still under way waits for them, which
// made the speed of a long match depend on its offset by a factor of ten. A
// long match nearer than PATTERN_WIDTH is therefore widened once into a pattern
// of whole periods, which is then stored over and over without reading back; a
// long match farther back is copied in parts that double, each read from bytes
// stored a whole part before.

namespace quellan::common::lz4_detail {

/// One move of the copies.
inline constexpr std::size_t COPY_WIDTH = 16;
/// Copies up to this length are made in moves of COPY_WIDTH, not by a call.
inline constexpr std::uint64_t SHORT_COPY = 4 * COPY_WIDTH;
/// Long matches nearer than this repeat a pattern of this width.
inline constexpr std::size_t PATTERN_WIDTH = 4 * COPY_WIDTH;
/// Past this many bytes of a match, the stores of its pattern give way to
/// copies of what they wrote, long enough to beat them.
inline constexpr std::size_t PATTERN_REACH = 32 * PATTERN_WIDTH;
/// The most a copy writes past its bytes, or reads past the literals it takes.
inline constexpr std::size_t OVERSHOOT = 2 * COPY_WIDTH - 1;
/// What the fast path leaves free behind a sequence, in the output and in the block.
inline constexpr std::size_t MARGIN = OVERSHOOT + 1;

// Pairs of moves overshoot by less than two moves.
static_assert(2 * COPY_WIDTH - 1 <= OVERSHOOT);
// The pattern's last store, half of it or all, overshoots by less than half of it.
static_assert(PATTERN_WIDTH / 2 - 1 <= OVERSHOOT && PATTERN_WIDTH % (2 * COPY_WIDTH) == 0);
// Only matches longer than the short copies repeat the pattern: they are longer
// than it, so its reads of a few bytes past the period stay inside their room.
static_assert(PATTERN_WIDTH <= SHORT_COPY);
static_assert(OVERSHOOT < MARGIN);

/// Copies `length` bytes from `from` in pairs of moves, writing up to OVERSHOOT
/// bytes past them; `from` lies at least COPY_WIDTH bytes before `out` or in
/// another buffer.
inline void copy_in_moves(char* out, const char* from, std::uint64_t length) {
  const char* const end = out + length;
  do {
    std::memcpy(out, from, COPY_WIDTH);
    std::memcpy(out + COPY_WIDTH, from + COPY_WIDTH, COPY_WIDTH);
    out += 2 * COPY_WIDTH;
    from += 2 * COPY_WIDTH;
  } while (out < end);
}

/// Copies `length` literal bytes from the block, short runs in fixed moves.
inline void copy_literals(char* out, const unsigned char* from, std::uint64_t length) {
  const auto* const bytes = reinterpret_cast<const char*>(from);
  if (length <= COPY_WIDTH) {
    std::memcpy(out, bytes, COPY_WIDTH);
  } else if (length <= SHORT_COPY) {
    copy_in_moves(out, bytes, length);
  } else {
    std::memcpy(out, bytes, static_cast<std::size_t>(length));
  }
}

/// For each offset below 8, the smallest multiple of it of at least 4, and of at least 8.
inline constexpr std::uint8_t PERIODS_OF_4[8] = {0, 4, 4, 6, 4, 5, 6, 7};
inline constexpr std::uint8_t PERIODS_OF_8[8] = {0, 8, 8, 9, 8, 10, 12, 14};

/// A match whose offset is under COPY_WIDTH, in moves of 8 bytes, writing up
/// to 7 bytes past it. Offset 1, a run of one byte, is a fill. Below 8, the
/// first 8 bytes are written as 4 bytes one by one and 4 more in one move, from
/// the nearest whole number of periods back that lies behind them; the rest
/// goes from the nearest whole number of periods of at least 8 back. Tables, not
/// a division, give both distances: this is the hot case of runs of a few bytes
/// repeated.
inline void repeat_short_offset(char* out, std::uint32_t offset, std::uint64_t length) {
  if (offset == 1) {
    std::memset(out, out[-1], static_cast<std::size_t>(length));
    return;
  }
  char* const end = out + length;
  std::uint32_t distance = offset;
  if (offset < 8) {
    const char* const from = out - offset;
    out[0] = from[0];
    out[1] = from[1];
    out[2] = from[2];
    out[3] = from[3];
    std::memcpy(out + 4, out + 4 - PERIODS_OF_4[offset], 4);
    distance = PERIODS_OF_8[offset];
    out += 8;
  }
  for (; out < end; out += 8) std::memcpy(out, out - distance, 8);
}

/// PATTERN_WIDTH bytes of a period repeated, built in registers as
/// little-endian words from one read of the period, so that no load waits for
/// stores of the output that have not landed yet.
class Pattern {
 public:
  /// The pattern of the `offset` bytes at `period`, 2 <= offset < PATTERN_WIDTH.
  /// Reads up to 7 bytes past them, which it does not use.
  Pattern(const char* period, std::uint32_t offset) {
    if (offset < WORD) {
      repeat_in_words(period, offset);
    } else {
      repeat_beyond_word(period, offset);
    }
  }

  /// Stores the pattern's first `bytes` at `to`.
  void store(char* to, std::size_t bytes) const { std::memcpy(to, words_, bytes); }
  /// Stores the pattern's second half at `to`.
  void store_second_half(char* to) const { std::memcpy(to, words_ + WORDS / 2, PATTERN_WIDTH / 2); }

 private:
  static constexpr std::size_t WORD = sizeof(std::uint64_t);
  static constexpr std::size_t WORDS = PATTERN_WIDTH / WORD;
  static_assert(PATTERN_WIDTH % (2 * WORD) == 0);
  // The words are stored as they lie in memory.
  static_assert(std::endian::native == std::endian::little);

  static std::uint64_t load_word(const char* bytes) {
    std::uint64_t word;
    std::memcpy(&word, bytes, WORD);
    return word;
  }
  // The first `count` (below 8) bytes of `word`, the others zero.
  static std::uint64_t low_bytes(std::uint64_t word, std::size_t count) {
    return word & ((std::uint64_t{1} << (8 * count)) - 1);
  }
  // A period shorter than a word: doubled until it fills the first word, and
  // each word after it is the one before moved on by the bytes that follow
  // the last whole period in a word.
  void repeat_in_words(const char* period, std::uint32_t offset) {
    std::uint64_t word = low_bytes(load_word(period), offset);
    for (std::size_t width = offset; width < WORD; width *= 2) word |= word << (8 * width);
    const std::size_t rest = WORD % offset;
    words_[0] = word;
    for (std::size_t i = 1; i < WORDS; ++i) {
      words_[i] = words_[i - 1] >> (8 * rest) | words_[i - 1] << (8 * (offset - rest));
    }
  }
  // A period of a word or more: its words as they are, the one it ends in
  // completed by the start of the pattern, and those after it repeating the
  // words one period back.
  void repeat_beyond_word(const char* period, std::uint32_t offset) {
    for (std::size_t i = 0; i < WORDS; ++i) {
      const std::size_t at = i * WORD;
      if (at + WORD <= offset) {
        words_[i] = load_word(period + at);
      } else if (at < offset) {
        words_[i] = low_bytes(load_word(period + at), offset - at) | words_[0] << (8 * (offset - at));
      } else {
        words_[i] = word_at(at - offset);
      }
    }
  }
  // The word of the pattern that starts at byte `at`, from the words before it.
  std::uint64_t word_at(std::size_t at) const {
    const std::size_t shift = 8 * (at % WORD);
    const std::uint64_t low = words_[at / WORD];
    return shift == 0 ? low : low >> shift | words_[at / WORD + 1] << (64 - shift);
  }

  std::uint64_t words_[WORDS];
};

/// Repeats the `length` bytes that start `offset` back from `out`, which may
/// overlap them: each copy doubles the distance, since what lies between the
/// source and the output repeats with the period `offset`. Writes nothing past them.
inline void repeat_doubling(char* out, std::uint32_t offset, std::uint64_t length) {
  const char* from = out - offset;
  while (length != 0) {
    const auto part = static_cast<std::size_t>(std::min<std::uint64_t>(length, static_cast<std::size_t>(out - from)));
    std::memcpy(out, from, part);
    out += part;
    length -= part;
  }
}

/// A match longer than PATTERN_WIDTH whose offset is under it, from 2 on: the
/// pattern stored over and over a whole number of periods apart, until the
/// match ends or PATTERN_REACH bytes of it are written, whose whole periods are
/// then copied by doubling. The last store, half or all of the pattern,
/// overshoots by less than half of it. Kept out of the fast path's loop, which
/// it would crowd for the sake of a rare, long match.
[[gnu::noinline]] inline void repeat_pattern(char* out, std::uint32_t offset, std::uint64_t length) {
  const Pattern pattern(out - offset, offset);
  const std::size_t stride = PATTERN_WIDTH - PATTERN_WIDTH % offset;
  char* const end = out + length;
  char* to = out;
  for (; end - to > static_cast<std::ptrdiff_t>(PATTERN_WIDTH); to += stride) {
    if (to - out >= static_cast<std::ptrdiff_t>(PATTERN_REACH)) {
      repeat_doubling(to, static_cast<std::uint32_t>(to - out), static_cast<std::uint64_t>(end - to));
      return;
    }
    pattern.store(to, PATTERN_WIDTH);
  }
  constexpr std::size_t HALF = PATTERN_WIDTH / 2;
  pattern.store(to, HALF);
  if (end - to > static_cast<std::ptrdiff_t>(HALF)) pattern.store_second_half(to + HALF);
}

/// Repeats the `length` bytes that start `offset` back from `out`, which may
/// overlap them, writing up to OVERSHOOT bytes past them.
inline void copy_match(char* out, std::uint32_t offset, std::uint64_t length) {
  if (length > SHORT_COPY && offset < length) {
    if (offset == 1) {
      std::memset(out, out[-1], static_cast<std::size_t>(length));
    } else if (offset < PATTERN_WIDTH) {
      repeat_pattern(out, offset, length);
    } else {
      repeat_doubling(out, offset, length);
    }
  } else if (offset < COPY_WIDTH) {
    repeat_short_offset(out, offset, length);
  } else if (length <= COPY_WIDTH) {
    std::memcpy(out, out - offset, COPY_WIDTH);
  } else if (length <= SHORT_COPY) {
    copy_in_moves(out, out - offset, length);
  } else {
    std::memcpy(out, out - offset, static_cast<std::size_t>(length));
  }
}

}  // namespace quellan::common::lz4_detail
