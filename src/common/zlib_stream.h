#pragma once

#include <cstddef>
#include <string_view>

#include "common/byte_buffer.h"
#include "error/expected.h"
#include "error/io_error.h"

namespace quellan::common {

/// Inflates the zlib stream `compressed` until exactly `size` bytes have come
/// out; output beyond that is neither produced nor checked. Fails with
/// `corrupt_deflate` for invalid data, with `unexpected_eof` when the stream or
/// its bytes end first, and with `output_limit` when `size` is above `limit` and
/// the stream really goes on past `limit`. `size` comes from the package and is
/// not trusted: memory is only set aside for what `compressed` can actually
/// inflate to, and never for more than `limit` + 1 bytes.
error::Expected<ByteBuffer, error::IoError> inflate_zlib_exact(std::string_view compressed,
                                                               std::size_t size, std::size_t limit);

}  // namespace quellan::common
