#include "raw/voka/entry_details.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "raw/voka/read/open_pak.h"
#include "raw/voka/read/table/table.h"
#include "support/memory_ceiling.h"
#include "support/messages.h"
#include "support/meta_kvt.h"
#include "support/package_writer.h"
#include "support/temp_dir.h"

namespace quellan::raw::voka {
namespace {

using test_support::PackageEntry;
using test_support::PackageFile;
using test_support::PackageWriter;

constexpr std::size_t MEBIBYTE = std::size_t{1} << 20;
const std::string NAME = "Mods/SomeMod/meta.kvt";
// Above the least that an extraction costs, so that limits near its size are its own.
const std::string CONTENTS = test_support::minimal_meta_kvt("SomeMod") + std::string(2 * MIN_EXTRACTION_COST, ' ');

// What extracting one record gives: its data, or the message of its error.
struct Extracted {
  std::string data;
  std::string error;
  bool operator==(const Extracted&) const = default;
};

Extracted data(std::string bytes) { return {std::move(bytes), ""}; }
Extracted failure(std::string message) { return {"", std::move(message)}; }

void PrintTo(const Extracted& extracted, std::ostream* out) {
  *out << (extracted.error.empty() ? "data: " + extracted.data : "error: " + extracted.error);
}

Extracted extracted(const error::Result<ModFile>& file) {
  if (!file) return failure(file.error().message());
  return data(std::string(file->data.view()));
}

// Opens the package as the metadata lookup does and extracts the records at
// `indexes` in that order through the one reader, whatever their names.
std::vector<Extracted> extract(const PackageWriter& writer, std::initializer_list<std::size_t> indexes,
                               ExtractionAllowance allowance = {}) {
  const PackageFile file(writer.bytes());
  auto reader = read::open_pak_skipping_header(file.path());
  if (!reader) return {failure(reader.error().message())};
  auto table = read::table::Table::read_from(*reader);
  if (!table) return {failure(table.error().message())};
  auto walk = table->walk(*reader);
  std::vector<read::table::OwnedRecord> records;
  auto walked = walk->for_each(read::table::Rest::check, [&](read::table::Record record) {
    records.emplace_back(record);
    return read::table::Step::next;
  });
  if (!walked) return {failure(walked.error().message())};
  std::vector<Extracted> results;
  for (const std::size_t index : indexes) {
    auto entry = records.at(index).view().entry_details();
    results.push_back(entry ? extracted(std::move(*entry).decompress_file(*reader, allowance))
                            : failure(entry.error().message()));
  }
  return results;
}

struct ExtractionCase {
  const char* name;
  PackageEntry entry;
  Extracted expected;
};

class DecompressFile : public ::testing::TestWithParam<ExtractionCase> {};

TEST_P(DecompressFile, GivesContentsOrItsError) {
  PackageWriter writer;
  writer.add(GetParam().entry);
  // Sizes in the record are untrusted; the ceiling makes an allocation of
  // gigabytes fail instead of passing unnoticed.
  const test_support::MemoryCeiling ceiling(256 * MEBIBYTE);
  EXPECT_EQ(extract(writer, {0}), std::vector<Extracted>{GetParam().expected});
}

PackageEntry entry(PackageEntry (*make)(std::string, std::string_view), void (*adjust)(PackageEntry&)) {
  PackageEntry entry = make(NAME, CONTENTS);
  adjust(entry);
  return entry;
}

const std::string ZLIB_SHORT = "tried to decompress Mods/SomeMod/meta.kvt but got failed to fill whole buffer";
const std::string STORED_EOF =
    "when reading compressed Mods/SomeMod/meta.kvt from .pak got failed to fill whole buffer";
const std::string ZSTD = test_support::ZSTD_UNSUPPORTED;

std::string hex(std::uint64_t value) {
  char digits[16];
  char* end = std::to_chars(std::begin(digits), std::end(digits), value, 16).ptr;
  return std::string(digits, end);
}

const std::string LZ4_TOO_SMALL = "but got provided output is too small for the decompressed data, actual ";

std::string lz4_past_the_limit_message() {
  const std::size_t stored = test_support::lz4_block(std::string(MAX_DECOMPRESSED_SIZE + 1, '\0')).size();
  // The block ends, as every LZ4 block does, with a literal run: its last byte is the one too many.
  return "tried to LZ4 decompress file Mods/SomeMod/meta.kvt at offset 16 with compressed_length 0x" + hex(stored) +
         " and decompressed length 0xffffffff " + LZ4_TOO_SMALL + "16777216, expected 16777217";
}
constexpr std::uint8_t ZSTD_FLAGS = 0x03;

INSTANTIATE_TEST_SUITE_P(
    Kinds, DecompressFile,
    ::testing::Values(
        ExtractionCase{"plain", entry(PackageEntry::plain, [](PackageEntry&) {}), data(CONTENTS)},
        ExtractionCase{"plain_ignores_uncompressed_size",
                       entry(PackageEntry::plain, [](PackageEntry& e) { e.uncompressed_size = 3; }), data(CONTENTS)},
        ExtractionCase{"plain_empty", entry(PackageEntry::plain, [](PackageEntry& e) { e.stored.clear(); }),
                       data("")},
        ExtractionCase{"zlib", entry(PackageEntry::zlib, [](PackageEntry&) {}), data(CONTENTS)},
        ExtractionCase{"lz4", entry(PackageEntry::lz4, [](PackageEntry&) {}), data(CONTENTS)},
        ExtractionCase{"lz4_with_high_flag_bits", entry(PackageEntry::lz4, [](PackageEntry& e) { e.flags = 0x12; }),
                       data(CONTENTS)},
        // An uncompressed size of 0 means stored as is, whatever the kind.
        ExtractionCase{"zlib_size_zero_undecoded",
                       entry(PackageEntry::zlib, [](PackageEntry& e) { e.uncompressed_size = 0; }),
                       data(test_support::zlib_stream(CONTENTS))},
        ExtractionCase{"lz4_size_zero_undecoded",
                       entry(PackageEntry::lz4, [](PackageEntry& e) { e.uncompressed_size = 0; }),
                       data(test_support::lz4_block(CONTENTS))},
        ExtractionCase{"zlib_longer_than_declared",
                       entry(PackageEntry::zlib, [](PackageEntry& e) { e.uncompressed_size = 5; }),
                       data(CONTENTS.substr(0, 5))},
        ExtractionCase{"zlib_shorter_than_declared",
                       entry(PackageEntry::zlib, [](PackageEntry& e) { ++e.uncompressed_size; }), failure(ZLIB_SHORT)},
        ExtractionCase{"zlib_declares_4_gib",
                       entry(PackageEntry::zlib, [](PackageEntry& e) { e.uncompressed_size = 0xFFFFFFFF; }),
                       failure(ZLIB_SHORT)},
        ExtractionCase{"zlib_stored_bytes_cut",
                       entry(PackageEntry::zlib, [](PackageEntry& e) { e.stored.resize(e.stored.size() / 2); }),
                       failure(ZLIB_SHORT)},
        ExtractionCase{"zlib_corrupt_header",
                       entry(PackageEntry::zlib, [](PackageEntry& e) { e.stored[0] = '\x00'; }),
                       failure("tried to decompress Mods/SomeMod/meta.kvt but got corrupt deflate stream")},
        ExtractionCase{"zlib_non_utf8_name",
                       entry(PackageEntry::zlib,
                             [](PackageEntry& e) {
                               e.name = "Mods/\xFF\xFE/meta.kvt";
                               ++e.uncompressed_size;
                             }),
                       failure("tried to decompress Mods/\xEF\xBF\xBD\xEF\xBF\xBD/meta.kvt but got failed to fill "
                               "whole buffer")},
        ExtractionCase{"lz4_shorter_than_declared",
                       entry(PackageEntry::lz4, [](PackageEntry& e) { e.uncompressed_size += 100; }), data(CONTENTS)},
        ExtractionCase{"lz4_declares_4_gib",
                       entry(PackageEntry::lz4, [](PackageEntry& e) { e.uncompressed_size = 0xFFFFFFFF; }),
                       data(CONTENTS)},
        ExtractionCase{"lz4_longer_than_declared",
                       entry(PackageEntry::lz4,
                             [](PackageEntry& e) {
                               e.stored = test_support::lz4_block("hello");  // 6 bytes: one token, 5 literals
                               e.uncompressed_size = 4;
                             }),
                       failure("tried to LZ4 decompress file Mods/SomeMod/meta.kvt at offset 16 with "
                               "compressed_length 0x6 and decompressed length 0x4 " + LZ4_TOO_SMALL + "4, expected 5")},
        ExtractionCase{"lz4_size_on_disk_zero",
                       entry(PackageEntry::lz4,
                             [](PackageEntry& e) {
                               e.size_on_disk = 0;
                               e.uncompressed_size = 1200;
                             }),
                       failure("tried to LZ4 decompress file Mods/SomeMod/meta.kvt at offset 16 with "
                               "compressed_length 0x0 and decompressed length 0x4b0 but got expected another byte, "
                               "found none")},
        // Contents may come out as large as the limit on decompressed entries, not one byte more.
        ExtractionCase{"zlib_at_the_limit",
                       entry(PackageEntry::zlib,
                             [](PackageEntry& e) {
                               e.stored = test_support::zlib_stream(std::string(MAX_DECOMPRESSED_SIZE, '\0'));
                               e.uncompressed_size = MAX_DECOMPRESSED_SIZE;
                             }),
                       data(std::string(MAX_DECOMPRESSED_SIZE, '\0'))},
        ExtractionCase{"zlib_past_the_limit",
                       entry(PackageEntry::zlib,
                             [](PackageEntry& e) {
                               e.stored = test_support::zlib_stream(std::string(MAX_DECOMPRESSED_SIZE + 1, '\0'));
                               e.uncompressed_size = 0xFFFFFFFF;
                             }),
                       failure("tried to decompress Mods/SomeMod/meta.kvt but got the data decompresses to more "
                               "than the 16777216 bytes allowed")},
        ExtractionCase{"lz4_past_the_limit",
                       entry(PackageEntry::lz4,
                             [](PackageEntry& e) {
                               e.stored = test_support::lz4_block(std::string(MAX_DECOMPRESSED_SIZE + 1, '\0'));
                               e.uncompressed_size = 0xFFFFFFFF;
                             }),
                       failure(lz4_past_the_limit_message())},
        ExtractionCase{"plain_past_the_limit",
                       entry(PackageEntry::plain,
                             [](PackageEntry& e) { e.stored = std::string(MAX_DECOMPRESSED_SIZE + 1, ' '); }),
                       failure("when reading compressed Mods/SomeMod/meta.kvt from .pak got the data is more than the "
                               "16777216 bytes allowed")},
        ExtractionCase{"zstd", entry(PackageEntry::plain, [](PackageEntry& e) { e.flags = ZSTD_FLAGS; }),
                       failure(ZSTD)},
        ExtractionCase{"zstd_refused_before_reading",
                       entry(PackageEntry::plain,
                             [](PackageEntry& e) {
                               e.flags = ZSTD_FLAGS;
                               e.offset = std::uint64_t{1} << 40;
                             }),
                       failure(ZSTD)},
        ExtractionCase{"offset_past_end_of_file",
                       entry(PackageEntry::plain, [](PackageEntry& e) { e.offset = 1 << 20; }), failure(STORED_EOF)},
        ExtractionCase{"size_on_disk_4_gib",
                       entry(PackageEntry::plain, [](PackageEntry& e) { e.size_on_disk = 0xFFFFFFFF; }),
                       failure(STORED_EOF)},
        ExtractionCase{"offset_past_end_non_utf8_name",
                       entry(PackageEntry::lz4,
                             [](PackageEntry& e) {
                               e.name = "Mods/Caf\xE9/meta.kvt";
                               e.offset = 1 << 20;
                             }),
                       failure("when reading compressed Mods/Caf\xEF\xBF\xBD/meta.kvt from .pak got failed to fill "
                               "whole buffer")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DecompressFile, ExtractsInAnyOrderThroughOneReader) {
  // Larger than the read buffer, so that buffered and direct reads both occur.
  const std::string large(3 * 8192 + 5, 'L');
  PackageWriter writer;
  writer.add(PackageEntry::plain("Mods/Big/big.bin", large))
      .add(PackageEntry::zlib("Mods/A/meta.kvt", CONTENTS))
      .add(PackageEntry::lz4("Mods/B/meta.kvt", "small"));
  EXPECT_EQ(extract(writer, {2, 0, 1, 2}),
            (std::vector<Extracted>{data("small"), data(large), data(CONTENTS), data("small")}));
}

// The limit an extraction is given holds for what comes out, whatever the kind:
// contents of exactly `limit` bytes pass, one byte more fails in the kind's own words.
struct LimitCase {
  const char* name;
  PackageEntry entry;
  std::size_t limit;
  Extracted expected;
};

class ExtractionLimit : public ::testing::TestWithParam<LimitCase> {};

TEST_P(ExtractionLimit, ContentsMayReachTheLimitButNotPassIt) {
  PackageWriter writer;
  writer.add(GetParam().entry);
  EXPECT_EQ(extract(writer, {0}, {GetParam().limit, GetParam().limit}), std::vector<Extracted>{GetParam().expected});
}

const std::size_t UNDER = CONTENTS.size() - 1;
const std::string STORED_OVER = "when reading compressed Mods/SomeMod/meta.kvt from .pak got the data is more than the " +
                                std::to_string(UNDER) + " bytes allowed";

const std::string STORED_AT_CONTENTS = "when reading compressed Mods/SomeMod/meta.kvt from .pak got the data is more "
                                       "than the " + std::to_string(CONTENTS.size()) + " bytes allowed";

const std::string STORED_UNDER_MINIMUM = "when reading compressed Mods/SomeMod/meta.kvt from .pak got the data is more "
                                         "than the " + std::to_string(MIN_EXTRACTION_COST - 1) + " bytes allowed";

std::string lz4_over_message() {
  return "tried to LZ4 decompress file Mods/SomeMod/meta.kvt at offset 16 with compressed_length 0x" +
         hex(PackageEntry::lz4(NAME, CONTENTS).stored.size()) + " and decompressed length 0x" + hex(CONTENTS.size()) +
         " " + LZ4_TOO_SMALL + std::to_string(UNDER) + ", expected " + std::to_string(CONTENTS.size());
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ExtractionLimit,
    ::testing::Values(
        LimitCase{"plain_at", PackageEntry::plain(NAME, CONTENTS), CONTENTS.size(), data(CONTENTS)},
        LimitCase{"plain_over", PackageEntry::plain(NAME, CONTENTS), UNDER, failure(STORED_OVER)},
        LimitCase{"zlib_at", PackageEntry::zlib(NAME, CONTENTS), CONTENTS.size(), data(CONTENTS)},
        LimitCase{"zlib_over", PackageEntry::zlib(NAME, CONTENTS), UNDER,
                  failure("tried to decompress Mods/SomeMod/meta.kvt but got the data decompresses to more than the " +
                          std::to_string(UNDER) + " bytes allowed")},
        LimitCase{"lz4_at", PackageEntry::lz4(NAME, CONTENTS), CONTENTS.size(), data(CONTENTS)},
        LimitCase{"lz4_over", PackageEntry::lz4(NAME, CONTENTS), UNDER, failure(lz4_over_message())},
        // The stored bytes count as well: a stream padded past the limit is not read.
        LimitCase{"zlib_padded_over",
                  entry(PackageEntry::zlib, [](PackageEntry& e) { e.stored.resize(CONTENTS.size() + 1, '\0'); }),
                  CONTENTS.size(), failure(STORED_AT_CONTENTS)},
        // Stored as is, its bytes are what counts, whatever the kind.
        LimitCase{"zlib_size_zero_over",
                  entry(PackageEntry::plain,
                        [](PackageEntry& e) {
                          e.flags = static_cast<std::uint8_t>(CompressionKind::Zlib);
                          e.uncompressed_size = 0;
                        }),
                  UNDER, failure(STORED_OVER)},
        // However small, an entry costs the least an extraction does, stored and contents alike.
        LimitCase{"small_plain_under_minimum_cost", PackageEntry::plain(NAME, "x"), MIN_EXTRACTION_COST - 1,
                  failure(STORED_UNDER_MINIMUM)},
        LimitCase{"small_plain_at_minimum_cost", PackageEntry::plain(NAME, "x"), MIN_EXTRACTION_COST, data("x")},
        LimitCase{"small_lz4_under_minimum_cost", PackageEntry::lz4(NAME, "x"), MIN_EXTRACTION_COST - 1,
                  failure(STORED_UNDER_MINIMUM)},
        // Bytes the file does not hold fail as a short read, limit or not.
        LimitCase{"plain_past_end_of_file", entry(PackageEntry::plain, [](PackageEntry& e) { e.offset = 1 << 20; }),
                  UNDER, failure(STORED_EOF)}),
    [](const auto& info) { return std::string(info.param.name); });

// Once less is left of a call's allowance than the least an extraction costs,
// no description fits, however small: three of the largest, then one 500 bytes
// short of it, leave 500 bytes, and a 300-byte description of any kind, or any
// smaller one, is refused. Compressed ones have spent few stored bytes.
TEST(ExtractionAllowance, RefusesEveryDescriptionOnceTheLeastCostNoLongerFits) {
  ExtractionAllowance allowance;
  for (int i = 0; i < 3; ++i) allowance.spend(MEBIBYTE, MAX_DECOMPRESSED_SIZE);
  allowance.spend(MEBIBYTE, MAX_DECOMPRESSED_SIZE - 500);
  ASSERT_EQ(allowance.contents, 500u);
  for (const std::size_t size : {300, 1}) {
    const std::string contents(size, ' ');
    EXPECT_FALSE(allowance.affords(size, size));
    PackageWriter writer;
    writer.add(PackageEntry::plain(NAME, contents)).add(PackageEntry::zlib(NAME, contents));
    writer.add(PackageEntry::lz4(NAME, contents));
    const std::string stored_lz4 = hex(PackageEntry::lz4(NAME, contents).stored.size());
    EXPECT_EQ(extract(writer, {0, 1, 2}, allowance),
              (std::vector<Extracted>{
                  failure("when reading compressed Mods/SomeMod/meta.kvt from .pak got the data is more than the 500 "
                          "bytes allowed"),
                  failure("tried to decompress Mods/SomeMod/meta.kvt but got the data decompresses to more than the 0 "
                          "bytes allowed"),
                  failure("tried to LZ4 decompress file Mods/SomeMod/meta.kvt at offset " +
                          std::to_string(test_support::HEADER_SIZE + size + PackageEntry::zlib(NAME, contents).stored.size()) +
                          " with compressed_length 0x" + stored_lz4 + " and decompressed length 0x" + hex(size) + " " +
                          LZ4_TOO_SMALL + "0, expected 1")}));
  }
}

}  // namespace
}  // namespace quellan::raw::voka
