#include "common/byte_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>

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

// Growing after a truncation keeps the bytes before the cut and zeroes the rest,
// both within the memory the buffer already has and beyond it.
TEST_P(ZeroedBuffer, GrowsKeepingItsBytesAndZeroingTheRest) {
  const std::size_t size = GetParam();
  auto buffer = ByteBuffer::zeroed(size);
  ASSERT_TRUE(buffer);
  std::memset(buffer->data(), 'x', size);
  const std::size_t kept = size / 2;
  buffer->truncate(kept);
  ASSERT_TRUE(buffer->grow_to(2 * size + 3));
  const std::string_view bytes = buffer->view();
  ASSERT_EQ(bytes.size(), 2 * size + 3);
  EXPECT_TRUE(std::ranges::all_of(bytes.substr(0, kept), [](char byte) { return byte == 'x'; }));
  EXPECT_TRUE(all_zero(bytes.substr(kept)));
}

INSTANTIATE_TEST_SUITE_P(Sizes, ZeroedBuffer,
                         ::testing::Values(0, 1, 4096, 4 * MEBIBYTE - 1, 4 * MEBIBYTE, 8 * MEBIBYTE + 3));

TEST(ByteBuffer, EmptyBufferGrows) {
  ByteBuffer buffer;
  ASSERT_TRUE(buffer.grow_to(5 * MEBIBYTE));
  EXPECT_EQ(buffer.size(), 5 * MEBIBYTE);
  EXPECT_TRUE(all_zero(buffer.view()));
}

}  // namespace
}  // namespace quellan::common
