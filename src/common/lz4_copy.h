#pragma once

// The copies of the LZ4 decoder's fast path. They are wild copies: they move
// fixed widths and may write up to OVERSHOOT bytes past the bytes they are
// asked for, which the fast path keeps free behind every sequence it takes (its
// MARGIN), so that they never write past the room the decoder was given.
//
// A match nearer than its length is an overlap copy: its offset is the period
// of what it writes. Copied forward in moves, each load would read bytes that
// the copy has just stored, across two of its stores, and store-to-load
// forwarding serves a load from one store only: every move would wait for the
// stores before it to land. So a match that a wild copy would read back from
// itself repeats a pattern instead, its period repeated in registers from one
// read of the bytes before the match, and stored whole periods apart; a long
// one is copied on in parts that double, each read from bytes stored a whole
// part before.
//
// A forward copy whose stores run just past a multiple of 4 KiB ahead of its
// loads meets 4K aliasing: a load is first matched with earlier stores by the
// low 12 bits of their addresses, so each one waits for a store it does not
// read. The C library's long copies do nothing about it; such copies are made
// backward, where the stores fall behind the loads.

#include <algorithm>
#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/bytes.h"

namespace quellan::common::lz4_detail {

/// One move of the copies.
inline constexpr std::size_t COPY_WIDTH = CHUNK;
/// Matches nearer than this repeat a pattern of this width, and copies up to
/// this length are made in moves rather than by a call.
inline constexpr std::size_t PATTERN_WIDTH = 4 * COPY_WIDTH;
/// Past this many bytes of a match, the stores of its pattern give way to
/// copies of what they wrote, long enough to beat them.
inline constexpr std::size_t PATTERN_REACH = 32 * PATTERN_WIDTH;
/// The most a copy writes past its bytes (a pair of moves, or half a pattern),
/// or reads past the literals it takes.
inline constexpr std::size_t OVERSHOOT = 2 * COPY_WIDTH - 1;
/// What the fast path leaves free behind a sequence, in the output and in the block.
inline constexpr std::size_t MARGIN = OVERSHOOT + 1;
/// How far before a match the copies may read, whatever its offset: a period
/// shorter than a word is read in the word that ends at its match. The fast
/// path takes a sequence only when the output holds this much before it.
inline constexpr std::size_t READ_BEHIND = WORD;
/// Forward copies longer than SAFE_FORWARD_COPY whose stores run 1 to
/// ALIASED_DISTANCE - 1 bytes past a multiple of ALIASING_PERIOD ahead of their
/// loads meet 4K aliasing; the C library's shorter ones see to it themselves.
inline constexpr std::size_t ALIASING_PERIOD = 4096;
inline constexpr std::size_t ALIASED_DISTANCE = 32;
inline constexpr std::size_t SAFE_FORWARD_COPY = 2048;

/// Copies `length` bytes, 1 to PATTERN_WIDTH, from `from` in pairs of moves;
/// `from` lies at least COPY_WIDTH bytes before `out`, or in another buffer.
inline void copy_in_moves(char* out, const char* from, std::size_t length) {
  assert(length != 0 && length <= PATTERN_WIDTH);
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
  } else if (length <= PATTERN_WIDTH) {
    copy_in_moves(out, bytes, static_cast<std::size_t>(length));
  } else {
    std::memcpy(out, bytes, static_cast<std::size_t>(length));
  }
}

/// The period of a match nearer than PATTERN_WIDTH, repeated word after word.
/// Every word is made in registers from the bytes before the match, read
/// without reaching its start: the copy before has just stored there, and a
/// load that spans its stores would wait for them.
class Pattern {
 public:
  static constexpr std::size_t WORDS = PATTERN_WIDTH / WORD;

  /// The `offset` bytes before `out`, 2 <= offset < PATTERN_WIDTH: reads the
  /// word that ends at `out`, and the period's own words.
  Pattern(const char* out, std::uint32_t offset)
      : match_(out), offset_(offset), last_word_(load_word(out - WORD)), first_(first_word()) {
    assert(offset >= 2 && offset < PATTERN_WIDTH);
  }

  /// Stores the first `count` words, 1 to WORDS, at `to`.
  void store_words(char* to, std::size_t count) const {
    for_words(count, [to](std::size_t i, std::uint64_t word) { std::memcpy(to + i * WORD, &word, WORD); });
  }

  /// All the pattern's words.
  std::array<std::uint64_t, WORDS> words() const {
    std::array<std::uint64_t, WORDS> words;
    for_words(WORDS, [&words](std::size_t i, std::uint64_t word) { words[i] = word; });
    return words;
  }

 private:
  // How far into its period each word of a pattern starts after the one
  // before it starts, by offset: WORD % offset.
  static constexpr auto PHASE_STEPS = [] {
    std::array<std::uint8_t, PATTERN_WIDTH> steps{};
    for (std::size_t offset = 1; offset < PATTERN_WIDTH; ++offset) {
      steps[offset] = static_cast<std::uint8_t>(WORD % offset);
    }
    return steps;
  }();
  // By offset under a word, a 1 in the lowest byte of each period that starts
  // in a word: a period times it is the period repeated, with no carries.
  static constexpr auto REPEATS = [] {
    std::array<std::uint64_t, WORD> repeats{};
    for (std::size_t offset = 1; offset < WORD; ++offset) {
      for (std::size_t at = 0; at < WORD; at += offset) repeats[offset] |= std::uint64_t{1} << (8 * at);
    }
    return repeats;
  }();

  std::uint64_t first_word() const {
    if (offset_ >= WORD) return load_word(match_ - offset_);
    return (last_word_ >> 8 * (WORD - offset_)) * REPEATS[offset_];
  }

  // The word that starts `phase` bytes into the period (phase < offset): the
  // rest of the period, read where it lies when it fills a word, or else cut
  // from the word that ends it and followed by the pattern's first word.
  std::uint64_t word_at(std::size_t phase) const {
    const std::size_t rest = offset_ - phase;
    if (rest >= WORD) return load_word(match_ - rest);
    return last_word_ >> 8 * (WORD - rest) | first_ << 8 * rest;
  }

  // Calls `use` with the index and value of each of the first `count` words.
  template <class Use>
  void for_words(std::size_t count, Use use) const {
    assert(count >= 1 && count <= WORDS);
    std::uint64_t word = first_;
    for (std::size_t i = 0, phase = 0;;) {
      use(i, word);
      if (++i == count) return;
      phase += PHASE_STEPS[offset_];
      if (phase >= offset_) phase -= offset_;
      word = word_at(phase);
    }
  }

  const char* match_;
  std::size_t offset_;
  std::uint64_t last_word_;
  std::uint64_t first_;
};

/// Copies `length` bytes from `from` to `out`, at least `length` bytes after
/// it, from the last move to the first.
inline void copy_backward(char* out, const char* from, std::size_t length) {
  assert(from + length <= out);
  std::size_t left = length;
  for (; left >= COPY_WIDTH; left -= COPY_WIDTH) {
    std::memcpy(out + left - COPY_WIDTH, from + left - COPY_WIDTH, COPY_WIDTH);
  }
  std::memcpy(out, from, left);
}

/// copy_ahead() of more than SAFE_FORWARD_COPY bytes, made backward where
/// forward it would meet 4K aliasing. At whole multiples of 4 KiB apart each
/// load comes before the store it is matched with, and forward is faster.
inline void copy_long_ahead(char* out, const char* from, std::size_t length) {
  assert(length > SAFE_FORWARD_COPY && from + length <= out);
  const std::size_t past_multiple = static_cast<std::size_t>(out - from) % ALIASING_PERIOD;
  if (past_multiple != 0 && past_multiple < ALIASED_DISTANCE) {
    copy_backward(out, from, length);
  } else {
    std::memcpy(out, from, length);
  }
}

/// Copies `length` bytes from `from` to `out`, at least `length` bytes after it.
inline void copy_ahead(char* out, const char* from, std::size_t length) {
  assert(from + length <= out);
  if (length <= SAFE_FORWARD_COPY) {
    std::memcpy(out, from, length);
  } else {
    copy_long_ahead(out, from, length);
  }
}

/// Repeats the `length` bytes that start `offset` back from `out`, which may
/// overlap them, writing nothing past them: each copy doubles the distance,
/// since what lies between the source and the output repeats with the period
/// `offset`. It serves long matches and the general path.
inline void repeat_doubling(char* out, std::uint32_t offset, std::uint64_t length) {
  assert(offset >= 1);
  const char* from = out - offset;
  while (length != 0) {
    const auto part = static_cast<std::size_t>(std::min<std::uint64_t>(length, static_cast<std::size_t>(out - from)));
    copy_ahead(out, from, part);
    out += part;
    length -= part;
  }
}

/// A match longer than PATTERN_WIDTH and nearer than it: the pattern stored
/// whole periods apart until the match ends or PATTERN_REACH bytes of it are
/// written, whose whole periods are then copied by doubling. The last
/// store, half the pattern or all of it, overshoots by less than half of it.
inline void repeat_pattern(char* out, const Pattern& pattern, std::uint32_t offset, std::uint64_t length) {
  assert(length > PATTERN_WIDTH);
  constexpr std::size_t HALF = PATTERN_WIDTH / 2;
  const auto words = pattern.words();
  // The first store word by word, as the words are made: a wide load of words
  // just stored waits for them, and the later stores have given them time.
  for (std::size_t i = 0; i < Pattern::WORDS; ++i) std::memcpy(out + i * WORD, &words[i], WORD);
  const std::size_t stride = PATTERN_WIDTH - PATTERN_WIDTH % offset;
  char* const end = out + length;
  char* to = out + stride;
  for (; end - to > static_cast<std::ptrdiff_t>(PATTERN_WIDTH); to += stride) {
    if (to - out >= static_cast<std::ptrdiff_t>(PATTERN_REACH)) {
      repeat_doubling(to, static_cast<std::uint32_t>(to - out), static_cast<std::uint64_t>(end - to));
      return;
    }
    std::memcpy(to, words.data(), PATTERN_WIDTH);
  }
  std::memcpy(to, words.data(), HALF);
  if (end - to > static_cast<std::ptrdiff_t>(HALF)) std::memcpy(to + HALF, words.data() + Pattern::WORDS / 2, HALF);
}

/// A match of 2 to PATTERN_WIDTH - 1 bytes back that a wild copy would read
/// back from itself: its pattern's words up to its end, or repeated.
inline void repeat_period(char* out, std::uint32_t offset, std::uint64_t length) {
  const Pattern pattern(out, offset);
  if (length <= PATTERN_WIDTH) {
    pattern.store_words(out, static_cast<std::size_t>(length + WORD - 1) / WORD);
  } else {
    repeat_pattern(out, pattern, offset, length);
  }
}

/// Repeats the `length` bytes that start `offset` back from `out`, which may
/// overlap them, writing up to OVERSHOOT bytes past them, by the class of the
/// offset and of the length:
///
///   offset \ length | 4 to 8    | 9 to 16   | 17 to 64          | longer
///   ----------------+-----------+-----------+-------------------+-------------------
///   1               | fill move | fill move | fill              | fill
///   2 to 7          | pattern   | pattern   | pattern           | pattern repeated
///   8 to 15         | word copy | pattern   | pattern           | pattern repeated
///   16 to 63        | move copy | move copy | moves, or pattern | pattern repeated
///   64 on           | move copy | move copy | moves             | ahead, or doubling
///
/// where a match nearer than its length takes the second of two.
inline void copy_match(char* out, std::uint32_t offset, std::uint64_t length) {
  assert(offset >= 1 && length >= 1);
  if (offset >= COPY_WIDTH) {
    if (length <= COPY_WIDTH) {
      std::memcpy(out, out - offset, COPY_WIDTH);
    } else if (offset < length) {
      if (offset < PATTERN_WIDTH) {
        repeat_period(out, offset, length);
      } else {
        repeat_doubling(out, offset, length);
      }
    } else if (length <= PATTERN_WIDTH) {
      copy_in_moves(out, out - offset, static_cast<std::size_t>(length));
    } else {
      copy_ahead(out, out - offset, static_cast<std::size_t>(length));
    }
  } else if (length <= WORD && offset >= WORD) {
    std::memcpy(out, out - offset, WORD);
  } else if (offset == 1) {
    // A fixed move for a short one, which the compiler makes without a call.
    if (length <= COPY_WIDTH) {
      std::memset(out, out[-1], COPY_WIDTH);
    } else {
      std::memset(out, out[-1], static_cast<std::size_t>(length));
    }
  } else {
    repeat_period(out, offset, length);
  }
}

}  // namespace quellan::common::lz4_detail
