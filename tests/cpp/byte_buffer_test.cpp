#include "common/byte_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>

namespace quellan::common {
namespace {

constexpr std::size_t MEBIBYTE = std::size_t{1} << 20;

bool all_zero(std::string_view bytes) {
  return std::ranges::all_of(bytes, [](char byte) { return byte == '\0'; });
}

// Sizes on both sides of the switch from heap blocks to mappings of their own.
class ZeroedBuffer : public ::testing::TestWithParam<std::size_t> {};

TEST_P(ZeroedBuffer, StartsAllZero) {
  auto buffer = ByteBuffer::zeroed(GetParam());
  ASSERT_TRUE(buffer);
  EXPECT_EQ(buffer->size(), GetParam());
  EXPECT_TRUE(all_zero(buffer->view()));
}

INSTANTIATE_TEST_SUITE_P(Sizes, ZeroedBuffer,
                         ::testing::Values(0, 1, 4096, 4 * MEBIBYTE - 1, 4 * MEBIBYTE, 8 * MEBIBYTE + 3));

}  // namespace
}  // namespace quellan::common
