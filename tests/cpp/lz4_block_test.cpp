#include "common/lz4_block.h"
#include "common/lz4_copy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quellan::common {
namespace {

constexpr std::size_t ROOMY = 100'000;

// One block, the room it is given, and what it must decode to or why not.
struct BlockCase {
  const char* name;
  std::string block;
  std::size_t capacity;
  std::string expected;  // the output, or the failure's message after "error: "
};

std::string failure(const std::string& message) { return "error: " + message; }

std::string outcome_of(const error::Expected<ByteBuffer, error::Lz4Error>& decoded) {
  return decoded ? std::string(decoded->view()) : failure(decoded.error().message());
}

// Decodes into room of exactly the capacity, followed by guard bytes that no
// form may touch, not even the fast path's copies, which write in fixed moves.
std::string into_buffer(const BlockCase& c) {
  constexpr std::size_t GUARD = 64;
  constexpr char UNTOUCHED = '\x5A';
  std::string out(c.capacity + GUARD, UNTOUCHED);
  auto produced = decode_lz4_block(c.block, std::span<char>(out.data(), c.capacity));
  if (out.substr(c.capacity) != std::string(GUARD, UNTOUCHED)) return "wrote past the capacity";
  if (!produced) return failure(produced.error().message());
  out.resize(*produced);
  return out;
}

// Hands a block over in the pieces that its stream asks for, as a file would.
class BlockSource final : public Lz4BlockSource {
 public:
  explicit BlockSource(std::string_view block) : rest_(block) {}
  std::size_t fill(std::span<char> out) override {
    const std::size_t taken = std::min(out.size(), rest_.size());
    std::memcpy(out.data(), rest_.data(), taken);
    rest_.remove_prefix(taken);
    return taken;
  }

 private:
  std::string_view rest_;
};

std::string drained(error::Expected<Lz4BlockStream, error::Lz4Error> stream, std::size_t step) {
  if (!stream) return failure(stream.error().message());
  std::string out;
  while (!stream->ended()) {
    auto piece = stream->next();
    if (!piece) return failure(piece.error().message());
    if (!stream->ended() && piece->size() != step) return "a piece other than a step: " + std::to_string(piece->size());
    out += *piece;
  }
  return out;
}

std::string through_stream(const BlockCase& c, std::size_t step) {
  return drained(Lz4BlockStream::open(c.block, c.capacity, step), step);
}

// The block read in pieces of `input_step` bytes: decoded, and checked whole.
std::string through_input_pieces(const BlockCase& c, std::size_t input_step) {
  constexpr std::size_t STEP = 272;
  BlockSource source(c.block);
  const std::string decoded = drained(Lz4BlockStream::open(source, c.block.size(), input_step, c.capacity, STEP), STEP);
  BlockSource again(c.block);
  auto checked = Lz4BlockStream::open(again, c.block.size(), input_step, c.capacity, STEP)->check_rest();
  const std::string expected_check = decoded.starts_with("error: ") ? decoded : std::to_string(decoded.size());
  if ((checked ? std::to_string(*checked) : failure(checked.error().message())) != expected_check) {
    return "the check disagrees with the decoding";
  }
  return decoded;
}

class Lz4Block : public ::testing::TestWithParam<BlockCase> {};

// Every form gives the same answer, whatever the step of the stream.
TEST_P(Lz4Block, DecodesByTheRulesInEveryForm) {
  const BlockCase& c = GetParam();
  const std::string expected = c.expected;
  EXPECT_EQ(into_buffer(c), expected);
  const auto checked = check_lz4_block(c.block, c.capacity);
  EXPECT_EQ(checked ? std::to_string(*checked) : failure(checked.error().message()),
            expected.starts_with("error: ") ? expected : std::to_string(expected.size()));
  EXPECT_EQ(outcome_of(decompress_lz4_block(c.block, c.capacity)), expected);
  for (const std::size_t step : {1, 3, 272, 1000, 70'000}) {
    EXPECT_EQ(through_stream(c, step), expected) << "step " << step;
  }
  for (const std::size_t input_step : {2, 3, 7, 64, 1000}) {
    EXPECT_EQ(through_input_pieces(c, input_step), expected) << "input step " << input_step;
  }
}

const std::string TOO_SMALL = "provided output is too small for the decompressed data, actual ";
const std::string LITERAL_OUT = "literal is out of bounds of the input";
const std::string NO_BYTE = "expected another byte, found none";
const std::string ZERO_OFFSET = "0 is not a valid match offset";
const std::string OFFSET_OUT = "the offset to copy is not contained in the decompressed buffer";

// Bytes without a period, so that a match from the wrong place never passes.
std::string noise(std::size_t size) {
  std::minstd_rand generator(15);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(generator() >> 8);
  return bytes;
}

// 70,000 literals, then a match reaching 65,535 back (farther than any step
// below, across the window's slide), then an empty literal run.
BlockCase far_match_across_slide() {
  const std::string literals = noise(70'000);
  std::string block = "\xF4";  // 15+ literals, a match of 4 + 4 + extension
  std::uint64_t rest = literals.size() - 15;
  for (; rest >= 255; rest -= 255) block += '\xFF';
  block += static_cast<char>(rest);
  block += literals + "\xFF\xFF";
  const std::string expected = literals + literals.substr(literals.size() - 65'535, 8);
  return {"far_match_across_slide", block + std::string(1, '\0'), ROOMY, expected};
}

// One sequence of a block written for the test: literals, then a match.
struct Sequence {
  std::size_t literals;
  std::uint16_t offset;
  std::size_t match;
};

void append_length(std::string& block, std::size_t rest) {
  for (; rest >= 255; rest -= 255) block += '\xFF';
  block += static_cast<char>(rest);
}

void append_sequence(std::string& block, const Sequence& sequence, std::string_view literals) {
  const std::size_t match_rest = sequence.match - 4;
  const std::size_t literal_nibble = std::min<std::size_t>(literals.size(), 15);
  const std::size_t match_nibble = std::min<std::size_t>(match_rest, 15);
  block += static_cast<char>(literal_nibble << 4 | match_nibble);
  if (literal_nibble == 15) append_length(block, literals.size() - 15);
  block += literals;
  block += static_cast<char>(sequence.offset & 0xFF);
  block += static_cast<char>(sequence.offset >> 8);
  if (match_nibble == 15) append_length(block, match_rest - 15);
}

// A block long enough for the decoder's fast path: `sequences`, then a literal
// run of CLOSING bytes that ends the block (more than the margins the fast path
// leaves to the general one). The output, unless `refusal` is given, is the
// rules read plainly, byte by byte.
constexpr std::size_t CLOSING = 80;
BlockCase sequences_block(const char* name, const std::vector<Sequence>& sequences, std::string refusal = {}) {
  std::size_t literal_total = CLOSING;
  for (const Sequence& sequence : sequences) literal_total += sequence.literals;
  const std::string literals = noise(literal_total);
  std::string block;
  std::string output;
  std::size_t taken = 0;
  for (const Sequence& sequence : sequences) {
    const std::string_view run = std::string_view(literals).substr(taken, sequence.literals);
    taken += sequence.literals;
    append_sequence(block, sequence, run);
    output += run;
    for (std::size_t copied = 0; copied < sequence.match && sequence.offset <= output.size(); ++copied) {
      output += output[output.size() - sequence.offset];
    }
  }
  block += static_cast<char>(std::min<std::size_t>(CLOSING, 15) << 4);
  append_length(block, CLOSING - 15);
  block += literals.substr(taken);
  output += literals.substr(taken);
  return {name, block, ROOMY, refusal.empty() ? output : refusal};
}

// Sequences of 4 literals and a match of `match` bytes, one for each of `offsets`.
std::vector<Sequence> matches_at(const std::vector<std::uint16_t>& offsets, std::size_t match = 30) {
  std::vector<Sequence> sequences;
  for (const std::uint16_t offset : offsets) sequences.push_back({4, offset, match});
  return sequences;
}

// READ_BEHIND literals and a match back to the first byte, after which the fast
// path may take sequences: then a match reaching `beyond` bytes further back
// than the first byte, and one at each of `offsets`.
std::vector<Sequence> from_the_first_byte(std::uint16_t beyond, const std::vector<std::uint16_t>& offsets) {
  constexpr std::uint16_t BEHIND = lz4_detail::READ_BEHIND;
  std::vector<Sequence> sequences{{BEHIND, BEHIND, 30}, {4, static_cast<std::uint16_t>(BEHIND + 34 + beyond), 30}};
  for (const std::uint16_t offset : offsets) sequences.push_back({4, offset, 30});
  return sequences;
}

// After 400 literals, a match at every offset from 1 to 40 and at some beyond,
// its length chosen by `length_for` from the offset's place in the list.
BlockCase every_offset(const char* name, std::size_t (*length_for)(std::size_t)) {
  std::vector<Sequence> sequences{{400, 1, 4}};
  std::vector<std::uint16_t> offsets{63, 64, 65, 100, 300};
  for (std::uint16_t offset = 1; offset <= 40; ++offset) offsets.push_back(offset);
  for (std::size_t i = 0; i < offsets.size(); ++i) sequences.push_back({i % 3, offsets[i], length_for(i)});
  return sequences_block(name, sequences);
}

// After 400 literals, a match of each of `matches` bytes at every offset from
// `first` to `last`, a third of them right after the match before.
BlockCase offsets_from(const char* name, std::uint16_t first, std::uint16_t last, std::vector<std::size_t> matches) {
  std::vector<Sequence> sequences{{400, 1, 4}};
  for (std::uint16_t offset = first; offset <= last; ++offset) {
    for (std::size_t i = 0; i < matches.size(); ++i) sequences.push_back({(offset + i) % 3, offset, matches[i]});
  }
  return sequences_block(name, sequences);
}

// Periods right after literal runs of 1 to 20 bytes, so that the bytes before
// a match, which its period is read from, lie partly in the literals and partly
// in the match before them.
BlockCase periods_after_literals(const char* name) {
  std::vector<Sequence> sequences{{400, 1, 4}};
  for (std::size_t literals = 1; literals <= 20; ++literals) {
    for (const std::uint16_t offset : std::initializer_list<std::uint16_t>{2, 5, 8, 11, 15, 16, 17, 26, 40, 63}) {
      sequences.push_back({literals, offset, 4 + literals * 7 % 97});
    }
  }
  return sequences_block(name, sequences);
}

// After a first sequence that lets the fast path start, a match whose last
// byte lies `spare` bytes before the end of the room (after it, when negative).
// With a margin to spare the fast path takes the match, whose copies' overshoot
// must stay within the room, and the closing literals do not fit; a byte short
// of the match, every form must refuse the match itself.
BlockCase room_around_a_match(const char* name, std::uint16_t offset, std::size_t match, std::ptrdiff_t spare) {
  const std::size_t first = std::max<std::size_t>(lz4_detail::READ_BEHIND, offset);
  BlockCase c = sequences_block(name, {{first, 1, 4}, {4, offset, match}});
  const std::size_t through_match = first + 4 + 4 + match;
  c.capacity = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(through_match) + spare);
  const std::size_t expected = spare < 0 ? through_match : through_match + CLOSING;
  c.expected = failure(TOO_SMALL + std::to_string(c.capacity) + ", expected " + std::to_string(expected));
  return c;
}

BlockCase fills_the_room(const char* name, std::uint16_t offset, std::size_t match) {
  return room_around_a_match(name, offset, match, lz4_detail::MARGIN);
}

BlockCase ends_a_byte_past_the_room(const char* name, std::uint16_t offset, std::size_t match) {
  return room_around_a_match(name, offset, match, -1);
}

// The first sequence's output ends where a match of `period` bytes begins, so
// the match reaches back to the first byte exactly: the copies read nothing
// before the output, which AddressSanitizer sees, since every form decodes into
// memory of its own that starts where the output does.
BlockCase period_from_the_first_byte(const char* name, std::uint16_t period, std::size_t match) {
  return sequences_block(name, {{period - 4u, 1, 4}, {0, period, match}});
}

// `capacity` literals fill the room, and then a match of 100 MiB follows.
BlockCase huge_match_past(const char* name, std::size_t capacity) {
  constexpr std::size_t HUGE_MATCH = std::size_t{100} << 20;
  std::string block;
  append_sequence(block, {capacity, 1, HUGE_MATCH}, noise(capacity));
  block += std::string(100, '\0');  // sequences of empty literals that a sound decoder never reaches
  return {name, block, capacity, failure(TOO_SMALL + std::to_string(capacity) + ", expected " +
                                         std::to_string(capacity + HUGE_MATCH))};
}

// Room a byte short of the fast path's margin once the output holds what the
// fast path reads behind a match, then a match that needs more room: the fast
// path must leave it to the general one, which refuses it.
BlockCase room_a_byte_short_of_the_margin() {
  constexpr std::size_t BEHIND = lz4_detail::READ_BEHIND;
  constexpr std::size_t CAPACITY = BEHIND + lz4_detail::MARGIN - 1;
  static_assert(CAPACITY < BEHIND + 4 + 100);
  BlockCase c = sequences_block("room_a_byte_short_of_the_margin", {{BEHIND - 4, 1, 4}, {4, 1, 100}});
  c.capacity = CAPACITY;
  c.expected = failure(TOO_SMALL + std::to_string(CAPACITY) + ", expected " + std::to_string(BEHIND + 104));
  return c;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, Lz4Block,
    ::testing::Values(
        BlockCase{"literals_only", "\x30" "abc", ROOMY, "abc"},
        BlockCase{"one_zero_token", std::string(1, '\0'), ROOMY, ""},
        BlockCase{"empty", "", ROOMY, failure(NO_BYTE)},
        // A match, then an empty literal run that ends the block: success.
        BlockCase{"match_then_empty_literals", std::string("\x14" "a\x01\x00\x00", 5), ROOMY, std::string(9, 'a')},
        BlockCase{"ends_after_offset_bytes", std::string("\x10" "a\x01\x00", 4), ROOMY, failure(NO_BYTE)},
        BlockCase{"ends_within_offset", "\x10" "a\x01", ROOMY, failure(NO_BYTE)},
        BlockCase{"ends_within_literal_length", "\xF0", ROOMY, failure(NO_BYTE)},
        BlockCase{"literal_length_255_then_0", std::string("\xF0\xFF\x00", 3) + std::string(270, 'L'), ROOMY,
                  std::string(270, 'L')},
        BlockCase{"overlap_offset_1", std::string("\x14" "x\x01\x00\x00", 5), ROOMY, std::string(9, 'x')},
        BlockCase{"overlap_offset_3", std::string("\x35" "abc\x03\x00\x00", 7), ROOMY, "abcabcabcabc"},
        BlockCase{"back_to_first_byte", std::string("\x20" "ab\x02\x00\x00", 6), ROOMY, "ababab"},
        BlockCase{"one_before_first_byte", std::string("\x20" "ab\x03\x00\x00", 6), ROOMY, failure(OFFSET_OUT)},
        BlockCase{"zero_offset", std::string("\x10" "a\x00\x00\x00", 5), ROOMY, failure(ZERO_OFFSET)},
        BlockCase{"literal_beyond_input", "\x50" "abc", ROOMY, failure(LITERAL_OUT)},
        BlockCase{"literal_beyond_capacity", "\x30" "abc", 2, failure(TOO_SMALL + "2, expected 3")},
        BlockCase{"literal_beyond_input_and_capacity", "\x50" "abc", 2, failure(LITERAL_OUT)},
        BlockCase{"match_ends_at_capacity", std::string("\x10" "a\x01\x00\x00", 5), 5, "aaaaa"},
        BlockCase{"match_beyond_capacity", std::string("\x10" "a\x01\x00\x00", 5), 4, failure(TOO_SMALL + "4, expected 5")},
        // Offset and length bytes are read before any check of the match.
        BlockCase{"match_length_missing_before_zero_offset", std::string("\x1F" "a\x00\x00", 4), ROOMY, failure(NO_BYTE)},
        BlockCase{"zero_offset_before_capacity", std::string("\x10" "a\x00\x00", 4), 1, failure(ZERO_OFFSET)},
        BlockCase{"offset_before_capacity", std::string("\x10" "a\x02\x00", 4), 1, failure(OFFSET_OUT)},
        BlockCase{"long_match_past_capacity", std::string("\x1F" "a\x01\x00\xFF\xFF\x10", 7), 100,
                  failure(TOO_SMALL + "100, expected " + std::to_string(1 + 4 + 15 + 255 + 255 + 16))},
        // Runs of extension bytes longer than a word, ended by another byte or by the block.
        BlockCase{"match_length_of_20_extension_bytes", std::string("\x1F" "a\x01\x00", 4) + std::string(20, '\xFF') +
                      std::string("\x07\x00", 2), ROOMY, std::string(1 + 4 + 15 + 20 * 255 + 7, 'a')},
        BlockCase{"match_length_ends_in_extension_bytes", std::string("\x1F" "a\x01\x00", 4) + std::string(17, '\xFF'),
                  ROOMY, failure(NO_BYTE)},
        far_match_across_slide(),
        // One reaching back exactly to the first byte, then every short offset and
        // offsets around the fast path's move sizes; and one reaching a byte further.
        sequences_block("fast_path_offsets", from_the_first_byte(0, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15,
                                                                    16, 17, 31, 32, 33, 63, 64, 65, 300})),
        sequences_block("fast_path_zero_offset", from_the_first_byte(0, {1, 0, 2}), failure(ZERO_OFFSET)),
        sequences_block("fast_path_one_before_first_byte", from_the_first_byte(1, {}), failure(OFFSET_OUT)),
        // Matches of one move or less, and matches past the short copies, which
        // nearer than their length repeat a pattern, or copy by doubling.
        every_offset("fast_path_every_offset_up_to_16", [](std::size_t i) { return 4 + i % 13; }),
        every_offset("fast_path_every_offset_17_to_64", [](std::size_t i) { return std::size_t{17} + i * 7 % 48; }),
        offsets_from("fast_path_64_byte_matches_41_to_64_back", 41, 64, {64}),
        offsets_from("fast_path_8_byte_matches_1_to_17_back", 1, 17, {8}),
        // Every period from a move to a pattern, over a word, half a pattern
        // or all of it; and periods reaching back to the first byte.
        offsets_from("fast_path_periods_of_a_move_or_more", 16, 63, {17, 32, 33, 63}),
        period_from_the_first_byte("period_16_from_the_first_byte", 16, 17),
        period_from_the_first_byte("period_40_from_the_first_byte", 40, 64),
        period_from_the_first_byte("period_63_from_the_first_byte", 63, 200),
        // Short periods: one move, a move and a byte, the words of a pattern in
        // every phase, the longest short match and the shortest long one.
        offsets_from("fast_path_short_periods_at_their_bounds", 2, 17,
                     {15, 16, 17, 23, 24, 25, 31, 32, 33, 40, 47, 63, 64, 65, 79, 80, 81, 129, 130}),
        periods_after_literals("fast_path_periods_after_literals"),
        // Short periods from the first bytes of output on, where the words
        // before a match would begin before the output.
        sequences_block("fast_path_short_periods_from_the_first_bytes",
                        {{2, 2, 30}, {1, 3, 20}, {0, 9, 40}, {3, 15, 70}, {0, 7, 100}}),
        every_offset("fast_path_every_offset_past_64", [](std::size_t i) { return std::size_t{65} + i * 37 % 300; }),
        sequences_block("fast_path_matches_past_the_pattern_reach", matches_at({3, 9, 17, 33, 63, 2, 100}, 5000)),
        // Long matches a few bytes more than a multiple of 4 KiB back, copied
        // backward, whole or doubling, with every kind of last part; and the
        // first distance past those and a whole multiple, copied forward.
        sequences_block("matches_just_past_4_kib_multiples_back", {{8300, 4097, 5000}, {3, 4100, 3000}, {0, 4127, 2049},
                                                                    {0, 4128, 2100}, {1, 8209, 2050}, {0, 12288, 5000},
                                                                    {2, 1025, 6000}}),
        sequences_block("fast_path_literal_runs", {{15, 1, 4}, {16, 2, 20}, {17, 9, 70}, {31, 17, 4}, {32, 40, 100},
                                                   {33, 3, 64}, {64, 64, 65}, {65, 5, 300}, {200, 100, 17}}),
        fills_the_room("fills_the_room_offset_3", 3, 100),
        fills_the_room("fills_the_room_offset_9", 9, 127),
        fills_the_room("fills_the_room_offset_17", 17, 65),
        fills_the_room("fills_the_room_offset_40", 40, 90),
        fills_the_room("fills_the_room_offset_63", 63, 200),
        fills_the_room("fills_the_room_offset_1", 1, 80),
        fills_the_room("fills_the_room_offset_20_short", 20, 20),
        fills_the_room("fills_the_room_offset_5_short", 5, 64),
        fills_the_room("fills_the_room_offset_15_short", 15, 33),
        fills_the_room("fills_the_room_offset_33_short", 33, 64),
        ends_a_byte_past_the_room("ends_a_byte_past_the_room_offset_3", 3, 100),
        ends_a_byte_past_the_room("ends_a_byte_past_the_room_offset_40", 40, 90),
        ends_a_byte_past_the_room("ends_a_byte_past_the_room_offset_100", 100, 20),
        huge_match_past("huge_match_past_16", 16),
        huge_match_past("huge_match_past_31", 31),
        huge_match_past("huge_match_past_32", 32),
        huge_match_past("huge_match_past_33", 33),
        huge_match_past("huge_match_past_96", 96), room_a_byte_short_of_the_margin()),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quellan::common
