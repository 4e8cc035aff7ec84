#include "common/zlib_stream.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <memory>

namespace quellan::common {

using error::IoError;

namespace {

// DEFLATE expands one input byte to at most 1032 output bytes (two one-bit codes
// for a 258-byte match). A stream cannot fill more room than this, whatever the
// package declares.
std::size_t most_output_of(std::size_t compressed_size) {
  constexpr std::size_t MAX_EXPANSION = 1032;
  constexpr std::size_t MARGIN = 4096;
  return compressed_size * MAX_EXPANSION + MARGIN;
}

struct InflateEnd {
  void operator()(z_stream* stream) const noexcept { inflateEnd(stream); }
};

// Runs the inflater until the output is full, the stream ends, or no progress
// can be made; returns the error that stopped it, if any.
error::Expected<void, IoError> inflate_into(z_stream& stream) {
  for (;;) {
    switch (inflate(&stream, Z_NO_FLUSH)) {
      case Z_OK:
        if (stream.avail_out == 0) return {};
        continue;
      case Z_STREAM_END:
      case Z_BUF_ERROR:  // input exhausted: nothing more can come out
        return {};
      case Z_MEM_ERROR:
        return std::unexpected(IoError::os(ENOMEM));
      default:  // Z_DATA_ERROR, Z_NEED_DICT, Z_STREAM_ERROR
        return std::unexpected(IoError::corrupt_deflate());
    }
  }
}

}  // namespace

error::Expected<ByteBuffer, IoError> inflate_zlib_exact(std::string_view compressed, std::size_t size,
                                                        std::size_t limit) {
  // One byte past the limit tells a stream that goes on from one that ends there.
  auto output = ByteBuffer::zeroed(std::min({size, limit + 1, most_output_of(compressed.size())}));
  if (!output) return std::unexpected(IoError::os(ENOMEM));

  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return std::unexpected(IoError::os(ENOMEM));
  std::unique_ptr<z_stream, InflateEnd> stream_guard(&stream);
  // Sizes in the package are 32-bit, so they fit zlib's counters.
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
  stream.avail_in = static_cast<uInt>(compressed.size());
  stream.next_out = reinterpret_cast<Bytef*>(output->data());
  stream.avail_out = static_cast<uInt>(output->size());

  if (auto inflated = inflate_into(stream); !inflated) return std::unexpected(inflated.error());
  if (stream.total_out > limit) return std::unexpected(IoError::output_limit(limit));
  if (stream.total_out < size) return std::unexpected(IoError::unexpected_eof());
  return std::move(*output);
}

}  // namespace quellan::common
