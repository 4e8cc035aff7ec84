#pragma once

#include <lz4.h>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/little_endian.h"
#include "common/lz4_block.h"

namespace quellan::fuzz {

/// How an LZ4 fuzz input is read: a 4-byte capacity and a 2-byte step (both
/// little-endian), then the block. Capacities stay small enough for a buffer.
struct Lz4Input {
  static constexpr std::size_t HEADER_SIZE = 6;
  static constexpr std::uint32_t MAX_CAPACITY = std::uint32_t{1} << 22;

  std::size_t capacity;
  std::size_t step;
  std::string_view block;

  static std::optional<Lz4Input> from(std::string_view bytes) {
    if (bytes.size() < HEADER_SIZE) return std::nullopt;
    return Lz4Input{common::load_little_endian<std::uint32_t>(bytes.data()) % (MAX_CAPACITY + 1),
                    std::size_t{common::load_little_endian<std::uint16_t>(bytes.data() + 4)} + 1,
                    bytes.substr(HEADER_SIZE)};
  }
};

namespace lz4_input_detail {

// What one form made of the block: the bytes, or the failure's message.
inline std::string outcome(const error::Expected<std::string, error::Lz4Error>& decoded) {
  return decoded ? "bytes " + *decoded : "error " + decoded.error().message();
}

inline error::Expected<std::string, error::Lz4Error> into_buffer(const Lz4Input& input) {
  std::string out(input.capacity, '\0');
  auto produced = common::decode_lz4_block(input.block, out);
  if (!produced) return std::unexpected(produced.error());
  out.resize(*produced);
  return out;
}

// Streams the block, and after `pieces` pieces checks the rest without output;
// the bytes before that are all it gives.
inline error::Expected<std::string, error::Lz4Error> streamed(const Lz4Input& input, std::size_t pieces,
                                                              std::uint64_t& produced) {
  auto stream = common::Lz4BlockStream::open(input.block, input.capacity, input.step);
  if (!stream) return std::unexpected(stream.error());
  std::string out;
  for (std::size_t taken = 0; !stream->ended() && taken < pieces; ++taken) {
    auto piece = stream->next();
    if (!piece) return std::unexpected(piece.error());
    out += *piece;
  }
  auto total = stream->check_rest();
  if (!total) return std::unexpected(total.error());
  produced = *total;
  return out;
}

}  // namespace lz4_input_detail

/// The three forms of the decoder on one block: into a buffer, the check, and
/// the stream at the input's step, walked whole and stopped early. All give the
/// same answer.
inline std::optional<std::string> compare_lz4_forms(std::string_view bytes) {
  using namespace lz4_input_detail;
  const auto input = Lz4Input::from(bytes);
  if (!input) return std::nullopt;
  const auto buffered = into_buffer(*input);
  const std::string expected = outcome(buffered);
  const auto checked = common::check_lz4_block(input->block, input->capacity);
  if (checked ? !buffered || *checked != buffered->size() : buffered || checked.error() != buffered.error()) {
    return "the check and the buffer disagree";
  }
  std::uint64_t produced = 0;
  if (outcome(streamed(*input, SIZE_MAX, produced)) != expected) return "the stream and the buffer disagree";
  const auto early = streamed(*input, 1, produced);
  if (!early != !buffered) return "a stream stopped early fails otherwise";
  if (early && (produced != buffered->size() || !buffered->starts_with(*early))) {
    return "a stream stopped early disagrees";
  }
  return std::nullopt;
}

/// What comparing with liblz4 showed.
struct Lz4Comparison {
  bool comparable = false;
  std::optional<std::string> violation;
};

/// Our decoder against liblz4 on the blocks both must agree on: where liblz4
/// decodes a block, ours gives the same bytes, unless the block holds a match
/// offset of 0, which liblz4 lets through and ours refuses. liblz4 also refuses
/// some sound blocks (it wants the last bytes to be literals), which compare
/// nothing.
inline Lz4Comparison compare_with_liblz4(std::string_view bytes) {
  const auto input = Lz4Input::from(bytes);
  if (!input || input->block.size() > static_cast<std::size_t>(INT_MAX)) return {};
  std::string theirs(input->capacity, '\0');
  const int produced = LZ4_decompress_safe(input->block.data(), theirs.data(), static_cast<int>(input->block.size()),
                                           static_cast<int>(input->capacity));
  if (produced < 0) return {};
  theirs.resize(static_cast<std::size_t>(produced));
  const auto ours = lz4_input_detail::into_buffer(*input);
  if (!ours) {
    if (ours.error() == error::Lz4Error::zero_offset()) return {true, std::nullopt};
    return {true, "a failure on a block that liblz4 decodes: " + ours.error().message()};
  }
  if (*ours != theirs) return {true, "other bytes than liblz4's"};
  return {true, std::nullopt};
}

inline std::optional<std::string> compare_with_liblz4_input(std::string_view bytes) {
  return compare_with_liblz4(bytes).violation;
}

}  // namespace quellan::fuzz
