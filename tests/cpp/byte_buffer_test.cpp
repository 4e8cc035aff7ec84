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

std::string_view slack_of(const ByteBuffer& buffer) {
  return {buffer.data() + buffer.size(), ByteBuffer::SLACK};
}

TEST_P(ZeroedBuffer, StartsAllZeroWithZeroSlack) {
  auto buffer = ByteBuffer::zeroed(GetParam());
  ASSERT_TRUE(buffer);
  EXPECT_EQ(buffer->size(), GetParam());
  EXPECT_TRUE(all_zero(buffer->view()));
  EXPECT_TRUE(all_zero(slack_of(*buffer)));
}

// Scans rely on the slack whatever filled the buffer before it was cut.
TEST_P(ZeroedBuffer, TruncatedKeepsZeroSlack) {
  auto buffer = ByteBuffer::zeroed(GetParam());
  ASSERT_TRUE(buffer);
  std::ranges::fill(buffer->span(), 'x');
  buffer->truncate(GetParam() / 2);
  EXPECT_EQ(buffer->size(), GetParam() / 2);
  EXPECT_TRUE(all_zero(slack_of(*buffer)));
}

INSTANTIATE_TEST_SUITE_P(Sizes, ZeroedBuffer,
                         ::testing::Values(0, 1, 4096, 4 * MEBIBYTE - 1, 4 * MEBIBYTE, 8 * MEBIBYTE + 3));

}  // namespace
}  // namespace quellan::common
