#include "raw/voka/read/package_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "support/temp_dir.h"

namespace quellan::raw::voka::read {
namespace {

using test_support::PackageFile;

constexpr std::size_t BUFFER = PackageReader::BUFFER_SIZE;

// A step of a walk through a file. Reads ask for `amount` bytes, exactly
// (`read`) or into a new buffer (`read_new`); seeks go to `amount` (`seek_to`)
// or move by it (`seek_by`).
struct Step {
  enum Kind { read, read_new, seek_to, seek_by } kind;
  std::int64_t amount;
};

struct WalkCase {
  const char* name;
  std::size_t file_size;
  std::vector<Step> steps;
};

// Bytes without a period, so that bytes read from the wrong place never pass
// for the right ones.
std::string file_bytes(std::size_t size) {
  std::minstd_rand generator(12);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(generator() >> 8);
  return bytes;
}

// Where `bytes` lie in `file`: "N bytes from OFFSET", or "N bytes not in the file".
std::string where(std::string_view bytes, std::string_view file) {
  const std::string count = std::to_string(bytes.size()) + " bytes";
  const std::size_t at = file.find(bytes.substr(0, 8));
  if (at == std::string_view::npos || file.substr(at, bytes.size()) != bytes) return count + " not in the file";
  return count + " from " + std::to_string(at);
}

// What a walk should give: the place of each read's bytes, up to the first read
// that runs past the end of the file, which fails.
std::vector<std::string> expected_walk(const WalkCase& walk) {
  std::vector<std::string> outcomes;
  std::int64_t position = 0;
  for (const Step& step : walk.steps) {
    switch (step.kind) {
      case Step::read:
      case Step::read_new:
        if (position + step.amount > static_cast<std::int64_t>(walk.file_size)) {
          outcomes.push_back("failed to fill whole buffer");
          return outcomes;
        }
        outcomes.push_back(std::to_string(step.amount) + " bytes from " + std::to_string(position));
        position += step.amount;
        break;
      case Step::seek_to:
        position = step.amount;
        break;
      case Step::seek_by:
        position += step.amount;
        break;
    }
  }
  return outcomes;
}

// Takes `step` through `reader`: the bytes it read (none for a seek), or its error.
error::Expected<std::string, error::IoError> take(PackageReader& reader, const Step& step) {
  switch (step.kind) {
    case Step::read: {
      std::string bytes(static_cast<std::size_t>(step.amount), '\0');
      if (auto read = reader.read_exact(bytes); !read) return std::unexpected(read.error());
      return bytes;
    }
    case Step::read_new: {
      auto buffer = reader.read_to_new_buffer(static_cast<std::size_t>(step.amount));
      if (!buffer) return std::unexpected(buffer.error());
      return std::string(buffer->view());
    }
    case Step::seek_to:
      if (auto seek = reader.seek_absolute(static_cast<std::uint64_t>(step.amount)); !seek) {
        return std::unexpected(seek.error());
      }
      return std::string();
    case Step::seek_by:
      if (auto seek = reader.seek_relative(step.amount); !seek) return std::unexpected(seek.error());
      return std::string();
  }
  std::abort();  // every kind returns above
}

// What a walk gives: the place of each read's bytes, up to the first failure.
std::vector<std::string> walk_through(PackageReader& reader, const WalkCase& walk, std::string_view file) {
  std::vector<std::string> outcomes;
  for (const Step& step : walk.steps) {
    auto bytes = take(reader, step);
    if (!bytes) {
      outcomes.push_back(bytes.error().message());
      return outcomes;
    }
    if (step.kind == Step::read || step.kind == Step::read_new) outcomes.push_back(where(*bytes, file));
  }
  return outcomes;
}

Step read(std::size_t size) { return {Step::read, static_cast<std::int64_t>(size)}; }
Step read_new(std::size_t size) { return {Step::read_new, static_cast<std::int64_t>(size)}; }
Step seek_to(std::size_t position) { return {Step::seek_to, static_cast<std::int64_t>(position)}; }
Step seek_by(std::int64_t offset) { return {Step::seek_by, offset}; }

std::string case_name(const ::testing::TestParamInfo<WalkCase>& info) { return info.param.name; }

class PackageReaderOnFile : public ::testing::TestWithParam<WalkCase> {};

TEST_P(PackageReaderOnFile, HandsOutTheBytesAtItsPosition) {
  const std::string bytes = file_bytes(GetParam().file_size);
  const PackageFile file(bytes);
  auto reader = PackageReader::open(file.path());
  ASSERT_TRUE(reader) << reader.error().message();
  EXPECT_EQ(walk_through(*reader, GetParam(), bytes), expected_walk(GetParam()));
}

constexpr std::size_t FILE_SIZE = 3 * BUFFER;

INSTANTIATE_TEST_SUITE_P(
    Walks, PackageReaderOnFile,
    ::testing::Values(
        WalkCase{"small_reads_within_one_fill", FILE_SIZE, {read(100), read(100)}},
        WalkCase{"reads_across_fills", FILE_SIZE, {read(BUFFER - 100), read(400), read(BUFFER)}},
        WalkCase{"direct_read_of_one_buffer", FILE_SIZE, {read(BUFFER), read(10)}},
        WalkCase{"direct_read_of_two_buffers", FILE_SIZE, {read(2 * BUFFER + 8), read(10)}},
        WalkCase{"large_read_with_bytes_buffered", FILE_SIZE, {read(10), read(BUFFER + 500), read(10)}},
        WalkCase{"read_to_the_last_byte", FILE_SIZE, {read(10), read(FILE_SIZE - 10)}},
        WalkCase{"read_past_the_end", FILE_SIZE, {read(BUFFER), read(2 * BUFFER + 1)}},
        WalkCase{"seek_forward_within_the_buffer", FILE_SIZE, {read(10), seek_by(100), read(10)}},
        WalkCase{"seek_backward_within_the_buffer", FILE_SIZE, {read(100), seek_by(-50), read(10)}},
        WalkCase{"seek_past_the_buffer", FILE_SIZE, {read(10), seek_by(BUFFER + 100), read(10)}},
        WalkCase{"seek_back_before_a_direct_read", FILE_SIZE,
                 {read(BUFFER + 8), read(10), seek_by(-100), read(20)}},
        WalkCase{"seek_by_from_the_start", FILE_SIZE, {seek_by(8), read(8)}},
        WalkCase{"seek_to_drops_the_buffer", FILE_SIZE,
                 {read(10), seek_to(BUFFER + 3), read(10), seek_to(5), read(10)}},
        WalkCase{"seek_to_past_the_end", FILE_SIZE, {seek_to(FILE_SIZE + 10), read(1)}},
        WalkCase{"new_buffer_after_seek_with_bytes_buffered", FILE_SIZE,
                 {read(10), seek_by(100), read_new(FILE_SIZE - 110), read(1)}},
        WalkCase{"new_buffer_one_byte_too_long", FILE_SIZE, {read(10), seek_by(100), read_new(FILE_SIZE - 109)}},
        WalkCase{"new_buffer_after_seek_back", FILE_SIZE, {read(BUFFER), seek_by(-100), read_new(200)}},
        WalkCase{"empty_file", 0, {read_new(0), read(1)}}),
    case_name);

}  // namespace
}  // namespace quellan::raw::voka::read
