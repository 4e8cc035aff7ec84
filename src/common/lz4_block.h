#pragma once

#include <cstddef>
#include <string_view>

#include "common/byte_buffer.h"
#include "error/expected.h"
#include "error/lz4_error.h"

namespace quellan::common {

/// Decompresses one LZ4 block (block format: no frame, no checksum) that must be
/// consumed whole, into a zero-filled buffer of at most `capacity` bytes. The
/// result holds exactly the bytes the block produced. Fails when the block is
/// empty or corrupt, needs more room than `capacity`, or when memory runs out.
/// `capacity` comes from the package and is not trusted: memory is only set
/// aside for what `compressed` can actually expand to.
error::Expected<ByteBuffer, error::Lz4Error> decompress_lz4_block(std::string_view compressed,
                                                                  std::size_t capacity);

}  // namespace quellan::common
