#include "common/lz4_block.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <random>
#include <string>
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

std::string into_buffer(const BlockCase& c) {
  std::string out(c.capacity, '\0');
  auto produced = decode_lz4_block(c.block, out);
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

// A block long enough for the decoder's fast path: a sequence of 4 literals
// and a match of 30 bytes for each of `offsets`, then 80 literals that end the
// block (more than the margins the fast path leaves to the general one). The
// output, unless `refusal` is given, is the rules read plainly, byte by byte.
BlockCase long_block(const char* name, const std::vector<std::uint16_t>& offsets, std::string refusal = {}) {
  const std::string literals = noise(4 * offsets.size() + 80);
  std::string block;
  std::string output;
  for (std::size_t i = 0; i < offsets.size(); ++i) {
    block += '\x4F';  // 4 literals, a match of 15 + 4 + 11
    block += literals.substr(4 * i, 4);
    block += static_cast<char>(offsets[i] & 0xFF);
    block += static_cast<char>(offsets[i] >> 8);
    block += '\x0B';
    if (!refusal.empty()) continue;
    output += literals.substr(4 * i, 4);
    for (int copied = 0; copied < 30; ++copied) output += output[output.size() - offsets[i]];
  }
  block += "\xF0\x41" + literals.substr(4 * offsets.size());
  output += literals.substr(4 * offsets.size());
  return {name, block, ROOMY, refusal.empty() ? output : refusal};
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
        far_match_across_slide(),
        // Every short offset, offsets around the fast path's move sizes, and one
        // reaching back exactly to the first byte (38), then one byte further.
        long_block("fast_path_offsets",
                   {4, 38, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 31, 32, 33, 63, 64, 65, 300}),
        long_block("fast_path_zero_offset", {4, 1, 0, 2}, failure(ZERO_OFFSET)),
        long_block("fast_path_one_before_first_byte", {4, 39}, failure(OFFSET_OUT))),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quellan::common
