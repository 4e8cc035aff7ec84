// Times the LZ4 decoder on blocks made of long matches at one offset each, the
// shape that costs a decoder most when it copies overlapping matches naively.
//
//   quellan_lz4_bench [--mib N] [--match BYTES[,BYTES...]] [--rounds N] [--form stream|buffer] OFFSET...
//       for each match length and offset, the least time over the rounds to
//       decode a block of matches of BYTES (default 32 KiB) at that offset to
//       N MiB (default 2048), its speed in output, the time per sequence and
//       the speed in block bytes read: for short matches the cost follows the
//       sequences, so a hostile block is bounded by its own size
//
// "stream" (the default) decodes through a window in pieces of 2 MiB, as the
// file table is read; "buffer" decodes into one buffer of the whole size.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "common/lz4_block.h"

namespace quellan::bench {

namespace {

constexpr std::size_t PIECE_SIZE = 2 * 1024 * 1024;
constexpr std::size_t MIN_MATCH = 4;

volatile std::uint64_t sink = 0;

void append_length_extension(std::string& block, std::size_t rest) {
  for (; rest >= 255; rest -= 255) block += '\xFF';
  block += static_cast<char>(rest);
}

// One sequence: `literals`, then a match of `match_length` bytes `offset` back.
void append_sequence(std::string& block, std::string_view literals, std::uint16_t offset, std::size_t match_length) {
  const std::size_t match_rest = match_length - MIN_MATCH;
  const unsigned literal_nibble = literals.size() < 15 ? static_cast<unsigned>(literals.size()) : 15;
  const unsigned match_nibble = match_rest < 15 ? static_cast<unsigned>(match_rest) : 15;
  block += static_cast<char>(literal_nibble << 4 | match_nibble);
  if (literal_nibble == 15) append_length_extension(block, literals.size() - 15);
  block += literals;
  block += static_cast<char>(offset & 0xFF);
  block += static_cast<char>(offset >> 8);
  if (match_nibble == 15) append_length_extension(block, match_rest - 15);
}

// `offset` distinct bytes, then matches of `match_length` at `offset` until
// `size` bytes, then the empty literal run that ends a block.
std::string block_of_matches(std::uint16_t offset, std::size_t match_length, std::size_t size) {
  std::string literals;
  for (std::size_t i = 0; i < offset; ++i) literals += static_cast<char>('a' + i % 26);
  std::string block;
  append_sequence(block, literals, offset, match_length);
  for (std::size_t produced = offset + match_length; produced + match_length <= size; produced += match_length) {
    append_sequence(block, {}, offset, match_length);
  }
  block += '\0';
  return block;
}

bool decode_streamed(std::string_view block, std::uint64_t size) {
  auto stream = common::Lz4BlockStream::open(block, size, PIECE_SIZE);
  if (!stream) return false;
  while (!stream->ended()) {
    auto piece = stream->next();
    if (!piece) return false;
    if (!piece->empty()) sink = sink + static_cast<unsigned char>(piece->back());
  }
  return true;
}

bool decode_buffered(std::string_view block, std::vector<char>& out) {
  auto produced = common::decode_lz4_block(block, out);
  if (!produced) return false;
  sink = sink + static_cast<unsigned char>(out[*produced - 1]);
  return true;
}

int usage() {
  std::fputs("usage: quellan_lz4_bench [--mib N] [--match BYTES[,BYTES...]] [--rounds N] [--form stream|buffer] OFFSET...\n",
             stderr);
  return 2;
}

struct Options {
  std::size_t mib = 2048;
  std::vector<std::size_t> match_lengths;
  int rounds = 5;
  bool buffered = false;
  std::vector<std::uint16_t> offsets;
};

void parse_lengths(const std::string& list, std::vector<std::size_t>& lengths) {
  for (const char* at = list.c_str(); *at != '\0';) {
    char* end = nullptr;
    lengths.push_back(std::strtoul(at, &end, 10));
    at = *end == ',' ? end + 1 : end + std::strlen(end);
  }
}

bool parse(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if ((arg == "--mib" || arg == "--match" || arg == "--rounds" || arg == "--form") && i + 1 < argc) {
      const std::string value = argv[++i];
      if (arg == "--mib") options.mib = std::strtoul(value.c_str(), nullptr, 10);
      if (arg == "--match") parse_lengths(value, options.match_lengths);
      if (arg == "--rounds") options.rounds = std::atoi(value.c_str());
      if (arg == "--form") options.buffered = value == "buffer";
      continue;
    }
    const unsigned long offset = std::strtoul(argv[i], nullptr, 10);
    if (offset == 0 || offset > std::numeric_limits<std::uint16_t>::max()) return false;
    options.offsets.push_back(static_cast<std::uint16_t>(offset));
  }
  if (options.match_lengths.empty()) options.match_lengths.push_back(32 * 1024);
  const bool lengths_valid = std::ranges::all_of(options.match_lengths, [](std::size_t n) { return n >= MIN_MATCH; });
  return !options.offsets.empty() && options.mib != 0 && lengths_valid && options.rounds > 0;
}

// The least time over the rounds to decode `block`, or a negative value if it
// does not decode.
double best_time(const Options& options, const std::string& block, std::size_t size, std::vector<char>& out) {
  double best = std::numeric_limits<double>::max();
  for (int round = 0; round < options.rounds; ++round) {
    const auto start = std::chrono::steady_clock::now();
    const bool ok = options.buffered ? decode_buffered(block, out) : decode_streamed(block, size);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (!ok) return -1;
    best = std::min(best, took.count());
  }
  return best;
}

int run(const Options& options) {
  const std::size_t size = options.mib << 20;
  std::vector<char> out(options.buffered ? size : 0);
  for (const std::size_t match_length : options.match_lengths) {
    for (const std::uint16_t offset : options.offsets) {
      const std::string block = block_of_matches(offset, match_length, size);
      const double best = best_time(options, block, size, out);
      if (best < 0) {
        std::fprintf(stderr, "match %zu, offset %u: the block does not decode\n", match_length, offset);
        return 1;
      }
      const double sequences = static_cast<double>(size / match_length);
      std::printf("match %6zu offset %5u: %zu MiB in %8.1f ms, %6.2f GiB/s, %6.2f ns/sequence, %7.1f MB/s of block\n",
                  match_length, offset, options.mib, best * 1e3, static_cast<double>(options.mib) / 1024 / best,
                  best * 1e9 / sequences, static_cast<double>(block.size()) / best / 1e6);
    }
  }
  return 0;
}

}  // namespace

}  // namespace quellan::bench

int main(int argc, char** argv) {
  quellan::bench::Options options;
  if (!quellan::bench::parse(argc, argv, options)) return quellan::bench::usage();
  return quellan::bench::run(options);
}
