#pragma once

#include <string_view>

#include "common/byte_buffer.h"

namespace quellan::test_support {

/// `text` in a buffer of its own, padded as extracted descriptions are, for the
/// readers that scan past a view's end. Aborts the test run if memory runs out.
inline common::ByteBuffer padded(std::string_view text) { return common::ByteBuffer::copy_of(text).value(); }

}  // namespace quellan::test_support
