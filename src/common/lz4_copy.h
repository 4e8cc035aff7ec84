#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include <emmintrin.h>

#include "common/little_endian.h"

// The copies of the LZ4 decoder's fast path and the geometry they share. They
// move fixed widths and may write past the bytes they are asked for, by at most
// OVERSHOOT bytes, which the fast path keeps free behind every sequence it takes
// (its MARGIN): so they never write past the room the decoder was given.
//
// A match may overlap the bytes it copies: its offset is the period of what it
// writes. Copying it forward in moves reads back bytes that were stored a moment
// before, and a load that spans stores still under way waits for them, which
// made the speed of a match depend on its offset by a factor of ten. A match
// nearer than PATTERN_WIDTH that overlaps itself (or lies nearer than one move)
// is therefore widened once into a pattern of whole periods, which is then
// stored, over and over for a long one, without reading back; a long match
// farther back is copied in parts that double, each read from bytes stored a
// whole part before.
//
// The period itself is read from the bytes the sequence before has just
// written, so it is read in words or moves that lie inside one of its stores
// where that can be arranged: never past the match's start (the empty literal
// run before it stored there), from the words or moves that end at it, and a
// match of a short period ends with a move that ends exactly where it does, so
// the next one finds those words in a single store. A period read in whole
// moves is then shifted into place in registers, not read again at its bytes.

namespace quellan::common::lz4_detail {

/// One move of the copies.
inline constexpr std::size_t COPY_WIDTH = 16;
/// Copies up to this length are made in moves of COPY_WIDTH, not by a call.
inline constexpr std::uint64_t SHORT_COPY = 4 * COPY_WIDTH;
/// Matches nearer than this that overlap themselves, long ones or from
/// COPY_WIDTH back, repeat a pattern of this width.
inline constexpr std::size_t PATTERN_WIDTH = 4 * COPY_WIDTH;
/// Past this many bytes of a match, the stores of its pattern give way to
/// copies of what they wrote, long enough to beat them.
inline constexpr std::size_t PATTERN_REACH = 32 * PATTERN_WIDTH;
/// The most a copy writes past its bytes, or reads past the literals it takes.
inline constexpr std::size_t OVERSHOOT = 2 * COPY_WIDTH - 1;
/// What the fast path leaves free behind a sequence, in the output and in the block.
inline constexpr std::size_t MARGIN = OVERSHOOT + 1;
/// Stores that run 1 to ALIASED_DISTANCE - 1 bytes past a multiple of
/// ALIASING_PERIOD ahead of the loads of a forward copy hold those loads up,
/// in copies longer than SAFE_FORWARD_COPY: the C library's shorter ones see
/// to it themselves.
inline constexpr std::size_t ALIASING_PERIOD = 4096;
inline constexpr std::size_t ALIASED_DISTANCE = 32;
inline constexpr std::size_t SAFE_FORWARD_COPY = 2048;
/// How far before a match the copies may read the bytes its period is taken
/// from, whatever its offset: the fast path takes a sequence only when the
/// output holds this much before it. A period of up to a pattern is read in
/// the whole moves that end at its match.
inline constexpr std::size_t READ_BEHIND = PATTERN_WIDTH;

// Pairs of moves overshoot by less than two moves.
static_assert(2 * COPY_WIDTH - 1 <= OVERSHOOT);
// The pattern's last store, half of it or all, overshoots by less than half of it.
static_assert(PATTERN_WIDTH / 2 - 1 <= OVERSHOOT && PATTERN_WIDTH % (2 * COPY_WIDTH) == 0);
// One pattern covers a short match.
static_assert(SHORT_COPY <= PATTERN_WIDTH);
static_assert(OVERSHOOT < MARGIN);
// A short period is read from the two words before its match, a longer one
// from the moves before it.
static_assert(READ_BEHIND >= 2 * sizeof(std::uint64_t) && READ_BEHIND >= PATTERN_WIDTH);

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

/// Stores the move of the words `low` and `high` at `to` from registers, a
/// word at a time: merged by the compiler into one wide move loaded from
/// memory, the words would wait for the stores that built them.
inline void store_word_pair(char* to, std::uint64_t low, std::uint64_t high) {
  asm("" : "+r"(low), "+r"(high));
  std::memcpy(to, &low, sizeof low);
  std::memcpy(to + sizeof low, &high, sizeof high);
}

/// The word at `bytes`, in the order the patterns store their words in.
inline std::uint64_t load_word(const char* bytes) { return load_little_endian<std::uint64_t>(bytes); }

// A 1 in the lowest byte of every period of `offset` bytes that starts in a
// word: the period times it is the period repeated, with no carries.
inline constexpr std::uint64_t repeats_in_word(std::size_t offset) {
  std::uint64_t ones = 0;
  for (std::size_t at = 0; at < sizeof(std::uint64_t); at += offset) ones |= std::uint64_t{1} << (8 * at);
  return ones;
}

/// A period of a word or less repeated word after word, in registers.
class WordRepeat {
 public:
  static constexpr std::size_t WORD = sizeof(std::uint64_t);

  /// The period is the `offset` bytes before `period_end`, 1 <= offset <= WORD;
  /// reads the word that ends there.
  WordRepeat(const char* period_end, std::uint32_t offset)
      : first_(fill_word(period_end, offset)),
        shift_right_(8 * REST_OF_WORD[offset]),
        shift_left_(8 * (offset - REST_OF_WORD[offset]) % 64) {}

  /// The first word: the period repeated until it fills it.
  std::uint64_t first() const { return first_; }
  /// The word after `word`: moved on by the bytes that follow the last whole
  /// period in a word (a period of a word: the same word).
  std::uint64_t next(std::uint64_t word) const { return word >> shift_right_ | word << shift_left_; }
  /// How far next() shifts the word right and left, in bits.
  unsigned shift_right() const { return shift_right_; }
  unsigned shift_left() const { return shift_left_; }

 private:
  // WORD % offset for each offset, by a table rather than a division.
  static constexpr std::uint8_t REST_OF_WORD[WORD + 1] = {0, 0, 0, 2, 0, 3, 2, 1, 0};
  static_assert(WORD == 8 && REST_OF_WORD[3] == 8 % 3 && REST_OF_WORD[5] == 8 % 5 && REST_OF_WORD[7] == 8 % 7);

  static constexpr std::uint64_t REPEATS[WORD + 1] = {0,
                                                     repeats_in_word(1),
                                                     repeats_in_word(2),
                                                     repeats_in_word(3),
                                                     repeats_in_word(4),
                                                     repeats_in_word(5),
                                                     repeats_in_word(6),
                                                     repeats_in_word(7),
                                                     repeats_in_word(8)};
  static_assert(REPEATS[3] == 0x0001000001000001 && REPEATS[5] == 0x0000010000000001);

  // Reads nothing at or past `period_end`: the bytes there were just stored by
  // the copy before, and a load across them and older stores waits for both.
  static std::uint64_t fill_word(const char* period_end, std::uint32_t offset) {
    return (load_word(period_end - WORD) >> 8 * (WORD - offset)) * REPEATS[offset];
  }

  std::uint64_t first_;
  unsigned shift_right_;
  unsigned shift_left_;
};

/// PATTERN_WIDTH bytes of a period of COPY_WIDTH or more repeated, held as
/// moves in registers and stored from them.
///
/// The period is read in the moves that end at the match, where the copy
/// before stored its last moves, so that each load takes one store's bytes
/// without waiting for it to land. Each word of the pattern is then the word a
/// period back, shifted out of the two words it straddles, two words at a time
/// by one shift count for all, so that no array is indexed by the period.
class MovePattern {
 public:
  static constexpr std::size_t MOVES = PATTERN_WIDTH / COPY_WIDTH;

  /// Calls `use` with the pattern of the `offset` bytes before `period_end`,
  /// COPY_WIDTH <= offset < PATTERN_WIDTH, reading up to READ_BEHIND bytes
  /// before it and nothing at or past it. Unrolled for each number of whole
  /// words in the period.
  template <class Use>
  [[gnu::always_inline]] static void with(const char* period_end, std::uint32_t offset, Use use) {
    static_assert(COPY_WIDTH / WORD == 2 && PATTERN_WIDTH / WORD - 1 == 7);
    const std::size_t rest = offset % WORD;
    switch (offset / WORD) {
      case 2: return use(build<2>(period_end, rest));
      case 3: return use(build<3>(period_end, rest));
      case 4: return use(build<4>(period_end, rest));
      case 5: return use(build<5>(period_end, rest));
      case 6: return use(build<6>(period_end, rest));
      default: return use(build<7>(period_end, rest));
    }
  }

  /// Stores the whole pattern at `to`.
  void store(char* to) const { store_moves<0>(to, std::make_index_sequence<MOVES>()); }
  /// Stores the pattern's first half at `to`.
  void store_first_half(char* to) const { store_moves<0>(to, std::make_index_sequence<MOVES / 2>()); }

 private:
  static constexpr std::size_t WORD = sizeof(std::uint64_t);
  static_assert(COPY_WIDTH == 2 * WORD && sizeof(__m128i) == COPY_WIDTH);
  // The words are stored as they lie in memory.
  static_assert(std::endian::native == std::endian::little);

  // Makes a word from the word a period back, shifted left by the period's
  // `rest` beyond whole words, and the one before it, shifted right by the
  // rest of a word: no rest shifts that one out whole.
  struct Shifts {
    explicit Shifts(std::size_t rest)
        : left(_mm_cvtsi32_si128(static_cast<int>(8 * rest))),
          right(_mm_cvtsi32_si128(static_cast<int>(8 * (WORD - rest)))) {}
    __m128i apply(__m128i back, __m128i before_back) const {
      return _mm_or_si128(_mm_sll_epi64(back, left), _mm_srl_epi64(before_back, right));
    }
    __m128i left;
    __m128i right;
  };

  // The high word of `low` and the low word of `high`.
  static __m128i straddling(__m128i low, __m128i high) {
    return _mm_castpd_si128(_mm_shuffle_pd(_mm_castsi128_pd(low), _mm_castsi128_pd(high), 1));
  }

  template <std::size_t WHOLE_WORDS>
  [[gnu::always_inline]] static MovePattern build(const char* period_end, std::size_t rest) {
    // The moves before the match that hold the period and the word before it.
    constexpr std::size_t BEFORE = WHOLE_WORDS / 2 + 1;
    static_assert(BEFORE * COPY_WIDTH <= READ_BEHIND);
    __m128i known[BEFORE + MOVES];
#pragma GCC unroll 4
    for (std::size_t k = 0; k < BEFORE; ++k) {
      known[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(period_end - (BEFORE - k) * COPY_WIDTH));
    }
    // Each move from the words WHOLE_WORDS and WHOLE_WORDS + 1 back: two or
    // more, so never from the move itself.
    static_assert(WHOLE_WORDS >= 2);
    constexpr std::size_t BACK = WHOLE_WORDS / 2;
    const Shifts shifts(rest);
#pragma GCC unroll 4
    for (std::size_t k = BEFORE; k < BEFORE + MOVES; ++k) {
      if constexpr (WHOLE_WORDS % 2 == 0) {
        known[k] = shifts.apply(known[k - BACK], straddling(known[k - BACK - 1], known[k - BACK]));
      } else {
        known[k] = shifts.apply(straddling(known[k - BACK - 1], known[k - BACK]), known[k - BACK - 1]);
      }
    }
    MovePattern pattern;
    std::copy(known + BEFORE, known + BEFORE + MOVES, pattern.moves_);
    return pattern;
  }

  // Stores the moves from FIRST on at `to`, each by its own index: indexed in
  // a loop, the moves would be kept in memory rather than in registers.
  template <std::size_t FIRST, std::size_t... I>
  void store_moves(char* to, std::index_sequence<I...>) const {
    (_mm_storeu_si128(reinterpret_cast<__m128i*>(to + I * COPY_WIDTH), moves_[FIRST + I]), ...);
  }

  __m128i moves_[MOVES];
};

/// PATTERN_WIDTH bytes of a period repeated, built in registers as
/// little-endian words from one read of the period, so that no load waits for
/// stores of the output that have not landed yet.
class Pattern {
 public:
  /// The pattern of the `offset` bytes at `period`, 2 <= offset < PATTERN_WIDTH.
  /// Reads nothing past them.
  Pattern(const char* period, std::uint32_t offset) {
    if (offset < WORD) {
      repeat_in_words(period, offset);
    } else {
      repeat_beyond_word(period, offset);
    }
  }

  /// Stores the whole pattern at `to`.
  void store(char* to) const { store_words(to, 0, WORDS); }
  /// The same in wide moves read from the words in memory: half the stores,
  /// for the stores after the first, by when the words have landed.
  void store_wide(char* to) const { std::memcpy(to, words_, PATTERN_WIDTH); }
  /// Stores the pattern's first half at `to`.
  void store_first_half(char* to) const { store_words(to, 0, WORDS / 2); }
  /// Stores the pattern's second half at `to`.
  void store_second_half(char* to) const { store_words(to, WORDS / 2, WORDS / 2); }
  /// Stores at `to` the move that starts `phase` bytes into the pattern,
  /// phase + COPY_WIDTH < PATTERN_WIDTH.
  void store_move_from(char* to, std::size_t phase) const {
    const std::uint64_t low = word_at(phase);
    const std::uint64_t high = word_at(phase + WORD);
    store_word_pair(to, low, high);
  }

 private:
  static constexpr std::size_t WORD = WordRepeat::WORD;
  static constexpr std::size_t WORDS = PATTERN_WIDTH / WORD;
  static_assert(PATTERN_WIDTH % (2 * WORD) == 0);
  // The words are stored as they lie in memory.
  static_assert(std::endian::native == std::endian::little);

  void repeat_in_words(const char* period, std::uint32_t offset) {
    const WordRepeat repeat(period + offset, offset);
    words_[0] = repeat.first();
    for (std::size_t i = 1; i < WORDS; ++i) words_[i] = repeat.next(words_[i - 1]);
  }
  // A period of a word or more: its words as they are, the one it ends in
  // taken from the word that ends the period (reading past it would wait for
  // the stores of the copy before) and completed by the start of the pattern,
  // and those after it repeating the words one period back.
  void repeat_beyond_word(const char* period, std::uint32_t offset) {
    for (std::size_t i = 0; i < WORDS; ++i) {
      const std::size_t at = i * WORD;
      if (at + WORD <= offset) {
        words_[i] = load_word(period + at);
      } else if (at < offset) {
        const std::size_t part = offset - at;
        words_[i] = load_word(period + offset - WORD) >> (8 * (WORD - part)) | words_[0] << (8 * part);
      } else {
        words_[i] = word_at(at - offset);
      }
    }
  }
  // Stores `count` words (an even number) from the `first` on at `to`.
  void store_words(char* to, std::size_t first, std::size_t count) const {
    for (std::size_t i = 0; i < count; i += 2) store_word_pair(to + i * WORD, words_[first + i], words_[first + i + 1]);
  }
  // The word of the pattern that starts at byte `at`, from the words before it.
  std::uint64_t word_at(std::size_t at) const {
    const std::size_t shift = 8 * (at % WORD);
    const std::uint64_t low = words_[at / WORD];
    return shift == 0 ? low : low >> shift | words_[at / WORD + 1] << (64 - shift);
  }

  std::uint64_t words_[WORDS];
};

/// Copies `length` bytes from `from` to `out`, which lies at least `length`
/// bytes after it, from the last move to the first.
inline void copy_backward(char* out, const char* from, std::size_t length) {
  std::size_t left = length;
#pragma GCC unroll 4
  for (; left >= COPY_WIDTH; left -= COPY_WIDTH) {
    const __m128i move = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + left - COPY_WIDTH));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + left - COPY_WIDTH), move);
  }
  std::memcpy(out, from, left);
}

/// copy_ahead() of more than SAFE_FORWARD_COPY bytes. A load is first matched
/// with earlier stores by the low 12 bits of their addresses, so a forward copy
/// whose stores run a few bytes more than a multiple of 4 KiB ahead of its
/// loads makes each load wait for a store it does not read: the C library's
/// copy of a few KiB or more then ran 25 times slower, and a long match chosen
/// at such a distance would cost the same. Those copies are made backward,
/// where the stores fall behind the loads. Out of line: inlined, it crowded
/// the fast path's registers.
[[gnu::noinline]] inline void copy_long_ahead(char* out, const char* from, std::size_t length) {
  // At whole periods apart, each load comes before the store it is matched with.
  const std::size_t past_periods = static_cast<std::size_t>(out - from) % ALIASING_PERIOD;
  if (past_periods != 0 && past_periods < ALIASED_DISTANCE) {
    copy_backward(out, from, length);
  } else {
    std::memcpy(out, from, length);
  }
}

/// Copies `length` bytes from `from` to `out`, which lies at least `length`
/// bytes after it.
inline void copy_ahead(char* out, const char* from, std::size_t length) {
  if (length <= SAFE_FORWARD_COPY) {
    std::memcpy(out, from, length);
  } else {
    copy_long_ahead(out, from, length);
  }
}

/// Repeats the `length` bytes that start `offset` back from `out`, which may
/// overlap them: each copy doubles the distance, since what lies between the
/// source and the output repeats with the period `offset`. Writes nothing past them.
/// Out of line: it serves long matches and the general path, and inlined in
/// the decoder's loop it moved the fast path's code to addresses where short
/// matches ran 8 % slower.
[[gnu::noinline]] inline void repeat_doubling(char* out, std::uint32_t offset, std::uint64_t length) {
  const char* from = out - offset;
  while (length != 0) {
    const auto part = static_cast<std::size_t>(std::min<std::uint64_t>(length, static_cast<std::size_t>(out - from)));
    copy_ahead(out, from, part);
    out += part;
    length -= part;
  }
}

/// A match longer than PATTERN_WIDTH whose offset is under it, from 2 on: the
/// pattern stored (first from registers, then in wide moves) over and over a
/// whole number of periods apart, until the match ends or PATTERN_REACH bytes
/// of it are written, whose whole periods are then copied by doubling. The
/// last store, half or all of the pattern, overshoots by less than half of it.
/// A period under a word ends with the move that ends the match, in its phase,
/// so that the next sequence finds the word before it, where such a period is
/// read from, in one store.
inline void repeat_pattern(char* out, std::uint32_t offset, std::uint64_t length) {
  const Pattern pattern(out - offset, offset);
  const std::size_t stride = PATTERN_WIDTH - PATTERN_WIDTH % offset;
  char* const end = out + length;
  char* to = out;
  for (; end - to > static_cast<std::ptrdiff_t>(PATTERN_WIDTH); to += stride) {
    if (to - out >= static_cast<std::ptrdiff_t>(PATTERN_REACH)) {
      repeat_doubling(to, static_cast<std::uint32_t>(to - out), static_cast<std::uint64_t>(end - to));
      return;
    }
    // Tested in the loop rather than peeled off before it: measured, the
    // peeled form was 5 to 8 % slower on matches of 100 bytes.
    if (to == out) {
      pattern.store(to);
    } else {
      pattern.store_wide(to);
    }
  }
  constexpr std::size_t HALF = PATTERN_WIDTH / 2;
  pattern.store_first_half(to);
  if (end - to > static_cast<std::ptrdiff_t>(HALF)) pattern.store_second_half(to + HALF);
  if (offset < sizeof(std::uint64_t)) pattern.store_move_from(end - COPY_WIDTH, (length - COPY_WIDTH) % offset);
}

/// A period of fewer than COPY_WIDTH bytes repeated over two moves, as words
/// in registers, read only from the move that ends where the match starts: the
/// copy before stored that move last if it ended with one (as this one does),
/// so the loads take its bytes from that one store without waiting for it.
class ShortPattern {
 public:
  /// The `offset` bytes before `out`, 2 <= offset < COPY_WIDTH.
  ShortPattern(const char* out, std::uint32_t offset) : stride_(STRIDES[offset]), within_word_(offset <= WORD) {
    if (within_word_) {
      const WordRepeat repeat(out, offset);
      first_ = repeat.first();
      second_ = repeat.next(first_);
      shift_right_ = repeat.shift_right();
      shift_left_ = repeat.shift_left();
    } else {
      // Each word repeats the bytes one period back, which begin
      // 2 * WORD - offset bytes (1 to 7) into the two words before it; the
      // first two are read where the move before ends, a word each.
      shift_right_ = 8 * static_cast<unsigned>(2 * WORD - offset);
      shift_left_ = 64 - shift_right_;
      const std::uint64_t last = load_word(out - WORD);
      first_ = following(load_word(out - 2 * WORD), last);
      second_ = following(last, first_);
    }
  }

  /// Stores the pattern's first move at `to`.
  void store(char* to) const { store_word_pair(to, first_, second_); }
  /// Stores at `to` the move that starts `phase` bytes into the pattern, phase < COPY_WIDTH.
  void store_from(char* to, std::size_t phase) const {
    // The words past the first move, made only here: most short matches take
    // one move. Chosen, not indexed: an index would keep the words in memory.
    const std::uint64_t third_word = following(first_, second_);
    const bool past_word = phase >= WORD;
    const std::uint64_t first = past_word ? second_ : first_;
    const std::uint64_t second = past_word ? third_word : second_;
    const std::uint64_t third = past_word ? following(second_, third_word) : third_word;
    const std::size_t shift = phase % WORD;
    store_word_pair(to, word_within(first, second, shift), word_within(second, third, shift));
  }
  /// How far on the next store goes: the whole periods in a move.
  std::size_t stride() const { return stride_; }

 private:
  static constexpr std::size_t WORD = WordRepeat::WORD;
  // Two words make a move; what a move passes its match by lies in the margin.
  static_assert(COPY_WIDTH == 2 * WORD && COPY_WIDTH - 1 <= OVERSHOOT);
  // For each offset, the largest multiple of it up to COPY_WIDTH.
  static constexpr std::uint8_t STRIDES[COPY_WIDTH] = {0, 16, 16, 15, 16, 15, 12, 14, 16, 9, 10, 11, 12, 13, 14, 15};
  static_assert(STRIDES[3] == 15 && STRIDES[6] == 12 && STRIDES[7] == 14 && STRIDES[8] == 16 && STRIDES[9] == 9);

  // The word of the pattern after `before_last` and `last`: a period within a
  // word moves on from the last word, a longer one takes its bytes from both.
  std::uint64_t following(std::uint64_t before_last, std::uint64_t last) const {
    return (within_word_ ? last : before_last) >> shift_right_ | last << shift_left_;
  }
  // The word that starts `skip` bytes (0 to 7) into `low` followed by `high`;
  // each shift is under the word's width whatever `skip` is.
  static std::uint64_t word_within(std::uint64_t low, std::uint64_t high, std::size_t skip) {
    const std::size_t half_shift = 4 * skip;
    return low >> half_shift >> half_shift | high << (32 - half_shift) << (32 - half_shift);
  }

  std::size_t stride_;
  bool within_word_;
  unsigned shift_right_;
  unsigned shift_left_;
  std::uint64_t first_;
  std::uint64_t second_;
};

/// A short match whose period is shorter than COPY_WIDTH. Up to a move, one
/// store, up to COPY_WIDTH - 1 bytes past the match; longer, the pattern's
/// first move whole periods apart and last the move that ends the match, in
/// its phase, so that nothing is written past the match and the next
/// sequence finds its last bytes in one store. Inline: the short matches of a
/// table's records are often a few bytes back.
inline void repeat_short_period(char* out, std::uint32_t offset, std::uint64_t length) {
  const ShortPattern pattern(out, offset);
  if (length <= COPY_WIDTH) {
    pattern.store(out);
    return;
  }
  const auto last = static_cast<std::uint32_t>(length - COPY_WIDTH);
  for (std::size_t at = 0; at < last; at += pattern.stride()) pattern.store(out + at);
  pattern.store_from(out + last, last % offset);
}

/// A match longer than a move and of up to SHORT_COPY bytes from COPY_WIDTH
/// or more back that overlaps itself: the pattern stored once, its first half
/// alone for a match of half a pattern or less.
inline void repeat_pattern_once(char* out, std::uint32_t offset, std::uint64_t length) {
  static_assert(SHORT_COPY == PATTERN_WIDTH && PATTERN_WIDTH / 2 - 1 <= OVERSHOOT);
  MovePattern::with(out, offset, [=](MovePattern pattern) {
    if (length > PATTERN_WIDTH / 2) {
      pattern.store(out);
    } else {
      pattern.store_first_half(out);
    }
  });
}

/// A match that overlaps itself, long or COPY_WIDTH or more back. Moves that
/// read back what they have just written would each wait for those stores, so
/// a short one is built as a pattern once and stored. Kept out of the fast
/// path's loop, which it would crowd for the sake of rarer matches.
[[gnu::noinline]] inline void copy_near_match(char* out, std::uint32_t offset, std::uint64_t length) {
  if (length > SHORT_COPY) {
    if (offset < PATTERN_WIDTH) {
      repeat_pattern(out, offset, length);
    } else {
      repeat_doubling(out, offset, length);
    }
  } else {
    repeat_pattern_once(out, offset, length);
  }
}

/// Repeats the `length` bytes that start `offset` back from `out`, which may
/// overlap them, writing up to OVERSHOOT bytes past them. The commonest cases,
/// a move or two from far enough back, are tested first; a match of half a
/// move or less from at least as far back takes one half move, which reads
/// nothing it writes.
inline void copy_match(char* out, std::uint32_t offset, std::uint64_t length) {
  constexpr std::size_t HALF_MOVE = COPY_WIDTH / 2;
  if (offset >= COPY_WIDTH) {
    if (length <= COPY_WIDTH) {
      std::memcpy(out, out - offset, COPY_WIDTH);
    } else if (offset < length) {
      copy_near_match(out, offset, length);
    } else if (length <= SHORT_COPY) {
      copy_in_moves(out, out - offset, length);
    } else {
      copy_ahead(out, out - offset, static_cast<std::size_t>(length));
    }
  } else if (length <= HALF_MOVE && offset >= HALF_MOVE) {
    std::memcpy(out, out - offset, HALF_MOVE);
  } else if (offset == 1) {
    // A fixed move for a short one, which the compiler makes without a call.
    if (length <= COPY_WIDTH) {
      std::memset(out, out[-1], COPY_WIDTH);
    } else {
      std::memset(out, out[-1], static_cast<std::size_t>(length));
    }
  } else if (length <= SHORT_COPY) {
    repeat_short_period(out, offset, length);
  } else {
    copy_near_match(out, offset, length);
  }
}

}  // namespace quellan::common::lz4_detail
