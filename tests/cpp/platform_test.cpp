// The platform layer's own rows: what the package reader and the key sets rely
// on from each system, checked the same way on POSIX and on Windows.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/error_text.h"
#include "platform/file.h"
#include "platform/pages.h"
#include "platform/random_bits.h"
#include "support/temp_dir.h"

namespace quellan::platform {
namespace {

using test_support::TempDir;

constexpr const char* BYTES = "0123456789";

// One move through an open file: a seek (`from` set) or a read of `size` bytes.
struct Move {
  std::int64_t offset;
  const SeekFrom* from;
  std::size_t size;
};

constexpr SeekFrom START = SeekFrom::start;
constexpr SeekFrom CURRENT = SeekFrom::current;

Move seek(std::int64_t offset, const SeekFrom& from) { return {offset, &from, 0}; }
Move read(std::size_t size) { return {0, nullptr, size}; }

struct FileCase {
  const char* name;
  std::vector<Move> moves;
  std::vector<std::string> outcomes;  // what each move gave: the bytes read, "seeked", or the error
};

std::string take(File& file, const Move& move) {
  if (move.from != nullptr) {
    auto sought = file.seek(move.offset, *move.from);
    return sought ? "seeked" : sought.error().message();
  }
  std::string bytes(move.size, '\0');
  auto count = file.read_some(bytes.data(), bytes.size());
  if (!count) return count.error().message();
  bytes.resize(*count);
  return bytes;
}

class PlatformFile : public ::testing::TestWithParam<FileCase> {};

TEST_P(PlatformFile, MovesAndReadsAsAsked) {
  const TempDir dir;
  auto file = File::open_read_only(dir.write("ten.bin", BYTES));
  ASSERT_TRUE(file.has_value()) << file.error().message();
  std::vector<std::string> outcomes;
  for (const Move& move : GetParam().moves) outcomes.push_back(take(*file, move));
  EXPECT_EQ(outcomes, GetParam().outcomes);
}

INSTANTIATE_TEST_SUITE_P(
    Moves, PlatformFile,
    ::testing::Values(
        // A read may give less than asked; only the end of the file gives nothing.
        FileCase{"read_past_end", {read(4), read(100), read(1)}, {"0123", "456789", ""}},
        FileCase{"seek_absolute_then_relative",
                 {seek(7, START), read(2), seek(-5, CURRENT), read(3)},
                 {"seeked", "78", "seeked", "456"}},
        FileCase{"seek_past_end_reads_nothing", {seek(1 << 20, START), read(1)}, {"seeked", ""}},
        FileCase{"seek_before_start_is_refused",
                 {seek(-1, START), seek(-11, CURRENT), read(2)},
                 {"Invalid argument (os error 22)", "Invalid argument (os error 22)", "01"}},
        FileCase{"seek_beyond_32_bits", {seek(std::int64_t{1} << 40, START), read(1)}, {"seeked", ""}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PlatformFileStatus, GivesTypeAndSize) {
  const TempDir dir;
  auto file = File::open_read_only(dir.write("ten.bin", BYTES));
  ASSERT_TRUE(file.has_value());
  auto status = file->status();
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(status->type, FileType::regular);
  EXPECT_EQ(status->size, 10u);
}

TEST(PlatformFileOpen, FailsWithTheRuntimesErrorNumber) {
  const TempDir dir;
  auto file = File::open_read_only(dir.path_of("missing.bin"));
  ASSERT_FALSE(file.has_value());
  EXPECT_EQ(file.error().message(), "No such file or directory (os error 2)");
}

TEST(PlatformFileOpen, TakesTheNameAsUtf8) {
  const TempDir dir;
  const std::string path = dir.write("\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80.pak", BYTES);  // é中😀
  auto file = File::open_read_only(path);
  ASSERT_TRUE(file.has_value()) << file.error().message();
  std::string bytes(10, '\0');
  EXPECT_EQ(file->read_some(bytes.data(), bytes.size()).value_or(0), 10u);
}

TEST(PlatformErrorText, IsTheRuntimesOwn) { EXPECT_EQ(describe_error_number(ENOENT), "No such file or directory"); }

TEST(PlatformRandomBits, DifferFromDrawToDraw) {
  const auto first = kernel_random_bits();
  const auto second = kernel_random_bits();
  ASSERT_TRUE(first.has_value() && second.has_value());
  EXPECT_NE(*first, *second);  // equal by chance once in 2^64 runs
}

TEST(PlatformPages, AreZeroAndWritable) {
  constexpr std::size_t SIZE = 2 * LARGE_PAGE_SIZE;
  auto* pages = static_cast<unsigned char*>(map_zeroed_pages(SIZE));
  ASSERT_NE(pages, nullptr);
  for (std::size_t offset = 0; offset < SIZE; offset += 4096) {
    EXPECT_EQ(pages[offset], 0u) << offset;
    pages[offset] = 1;
  }
  EXPECT_EQ(pages[SIZE - 1], 0u);
  unmap_pages(pages, SIZE);
}

}  // namespace
}  // namespace quellan::platform
