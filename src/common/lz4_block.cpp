#include "common/lz4_block.h"

#include <lz4.h>

#include <algorithm>
#include <climits>
#include <cstdint>

namespace quellan::common {

using error::Lz4Error;

namespace {

// No LZ4 sequence turns n input bytes into more than 255 n output bytes. A block
// given this much room therefore never comes near the end of it, so it decodes
// exactly as it would into any larger buffer.
std::size_t most_output_of(std::size_t compressed_size) {
  constexpr std::size_t MAX_EXPANSION = 255;
  constexpr std::size_t END_MARGIN = 64;
  return compressed_size * MAX_EXPANSION + END_MARGIN;
}

}  // namespace

error::Expected<ByteBuffer, Lz4Error> decompress_lz4_block(std::string_view compressed,
                                                           std::size_t capacity) {
  if (compressed.empty()) return std::unexpected(Lz4Error::empty_input());
  // liblz4 counts in int; a block or output beyond that is more than it can decode.
  if (compressed.size() > static_cast<std::size_t>(INT_MAX)) {
    return std::unexpected(Lz4Error::malformed(capacity));
  }
  const std::size_t room =
      std::min({capacity, most_output_of(compressed.size()), static_cast<std::size_t>(INT_MAX)});
  // The zeros matter: liblz4 accepts a match offset of 0, which copies output
  // bytes not yet written, and the result must not depend on memory contents.
  auto output = ByteBuffer::zeroed(room);
  if (!output) return std::unexpected(Lz4Error::out_of_memory(room));
  const int produced = LZ4_decompress_safe(compressed.data(), output->data(),
                                           static_cast<int>(compressed.size()), static_cast<int>(room));
  if (produced < 0) return std::unexpected(Lz4Error::malformed(capacity));
  output->truncate(static_cast<std::size_t>(produced));
  return std::move(*output);
}

}  // namespace quellan::common
