#pragma once

#include <algorithm>
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
// of whole periods, which is then stored over and over without reading back.

namespace quellan::common::lz4_detail {

/// One move of the copies.
inline constexpr std::size_t COPY_WIDTH = 16;
/// Copies up to this length are made in moves of COPY_WIDTH, not by a call.
inline constexpr std::uint64_t SHORT_COPY = 4 * COPY_WIDTH;
/// Long matches nearer than this repeat a pattern of this width.
inline constexpr std::size_t PATTERN_WIDTH = 4 * COPY_WIDTH;
/// The most a copy writes past its bytes, or reads past the literals it takes.
inline constexpr std::size_t OVERSHOOT = 2 * COPY_WIDTH - 1;
/// What the fast path leaves free behind a sequence, in the output and in the block.
inline constexpr std::size_t MARGIN = OVERSHOOT + 1;

// Copies in pairs of moves overshoot by less than two moves.
static_assert(2 * COPY_WIDTH - 1 <= OVERSHOOT);
// The pattern's last store is half of it at least, and overshoots by less than that.
static_assert(PATTERN_WIDTH / 2 - 1 <= OVERSHOOT && PATTERN_WIDTH % (2 * COPY_WIDTH) == 0);
// A widened pattern holds two periods of any offset it is used for at least
// half... its stride, a whole number of periods, is more than half its width.
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
  // For each offset below 8, the smallest multiple of it of at least 4, and of at least 8.
  static constexpr std::uint8_t PERIODS_OF_4[8] = {0, 4, 4, 6, 4, 5, 6, 7};
  static constexpr std::uint8_t PERIODS_OF_8[8] = {0, 8, 8, 9, 8, 10, 12, 14};
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

/// A match longer than PATTERN_WIDTH whose offset is under it. Its first
/// PATTERN_WIDTH bytes are written by the plain copies; they hold the period
/// repeated, so storing them again a whole number of periods further on
/// continues it. The stores never read the output back, and the last one, half
/// or all of the pattern, overshoots by less than half of it.
inline void repeat_pattern(char* out, std::uint32_t offset, std::uint64_t length) {
  if (offset < COPY_WIDTH) {
    repeat_short_offset(out, offset, PATTERN_WIDTH);
  } else {
    copy_in_moves(out, out - offset, PATTERN_WIDTH);
  }
  char pattern[PATTERN_WIDTH];
  std::memcpy(pattern, out, PATTERN_WIDTH);
  const std::size_t stride = PATTERN_WIDTH - PATTERN_WIDTH % offset;
  char* const end = out + length;
  char* to = out + stride;
  for (; end - to > static_cast<std::ptrdiff_t>(PATTERN_WIDTH); to += stride) std::memcpy(to, pattern, PATTERN_WIDTH);
  constexpr std::size_t HALF = PATTERN_WIDTH / 2;
  std::memcpy(to, pattern, HALF);
  if (end - to > static_cast<std::ptrdiff_t>(HALF)) std::memcpy(to + HALF, pattern + HALF, HALF);
}

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
