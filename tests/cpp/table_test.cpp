#include "raw/voka/read/table/table.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "raw/voka/read/open_pak.h"
#include "support/memory_ceiling.h"
#include "support/messages.h"
#include "support/package_case.h"
#include "support/package_writer.h"
#include "support/temp_dir.h"

namespace quellan::raw::voka::read::table {
namespace {

using test_support::MemoryCeiling;
using test_support::PackageEntry;
using test_support::PackageFile;
using test_support::PackageWriter;
using test_support::short_table;
using test_support::table_fails;
using test_support::unknown_compression;

constexpr std::size_t MEBIBYTE = std::size_t{1} << 20;

// Every record of the package's table, walked to the end.
error::Result<std::vector<OwnedRecord>> read_records(const PackageWriter& writer) {
  const PackageFile file(writer.bytes());
  auto reader = open_pak_skipping_header(file.path());
  if (!reader) return std::unexpected(reader.error());
  auto table = Table::read_from(*reader);
  if (!table) return std::unexpected(table.error());
  auto walk = table->walk(*reader);
  if (!walk) return std::unexpected(walk.error());
  std::vector<OwnedRecord> records;
  auto walked = walk->for_each(Rest::check, [&](Record record) {
    records.emplace_back(record);
    return Step::next;
  });
  if (!walked) return std::unexpected(walked.error());
  return records;
}

PackageWriter one_entry_package() {
  PackageWriter writer;
  writer.add(PackageEntry::plain("Mods/A/meta.kvt", "contents"));
  return writer;
}

std::string render(const EntryDetails& entry) {
  return std::string(entry.name) + " offset=" + std::to_string(entry.offset) +
         " size_on_disk=" + std::to_string(entry.size_on_disk) +
         " uncompressed_size=" + std::to_string(entry.uncompressed_size) +
         " kind=" + std::to_string(static_cast<int>(entry.compression));
}

std::string render(const error::Result<EntryDetails>& entry) {
  return entry ? render(*entry) : entry.error().message();
}

// Refused tables: each case breaks one field of a sound one-entry package.
using BrokenTable = test_support::PackageCase;

class TableReadFrom : public ::testing::TestWithParam<BrokenTable> {};

TEST_P(TableReadFrom, RefusesWithItsMessage) {
  PackageWriter writer = one_entry_package();
  GetParam().build(writer);
  // Declared sizes must never be taken at their word: the ceiling turns an
  // allocation of gigabytes into a failure the message check sees.
  const MemoryCeiling ceiling(256 * MEBIBYTE);
  const auto records = read_records(writer);
  ASSERT_FALSE(records.has_value());
  EXPECT_EQ(records.error().message(), GetParam().expected);
}

// A block of `size` bytes whose first sequence has a match offset of 0.
std::string bad_block_of(std::size_t size) {
  std::string block("\x10" "a\x00\x00", 4);
  block.resize(size, 'p');
  return block;
}

// That block, `present` bytes of it, in a file that ends there: one byte short.
void cut_bad_block(PackageWriter& w, std::size_t present) {
  w.table_block(bad_block_of(present)).declared_table_size(static_cast<std::uint32_t>(present + 1));
}

const std::string COMPRESSED_TABLE_EOF = "when reading .pak compressed table got failed to fill whole buffer";

INSTANTIATE_TEST_SUITE_P(
    Corruptions, TableReadFrom,
    ::testing::Values(
        BrokenTable{"ends_within_file_count",
                    [](PackageWriter& w) { w.footer_offset(w.bytes().size() - 2); },
                    "when reading .pak number of files contained files got failed to fill whole buffer"},
        BrokenTable{"ends_within_table_size",
                    [](PackageWriter& w) { w.footer_offset(w.bytes().size() - 6); },
                    "when reading .pak number of bytes in table got failed to fill whole buffer"},
        BrokenTable{"ends_within_block", [](PackageWriter& w) { w.declared_table_size(4096); },
                    COMPRESSED_TABLE_EOF},
        BrokenTable{"declares_4_gib_block", [](PackageWriter& w) { w.declared_table_size(0xFFFFFFFF); },
                    COMPRESSED_TABLE_EOF},
        // The block is read in pieces, but a file that ends within it fails as a
        // short read, even where its first bytes would fail to decode, wherever
        // it ends among the pieces.
        BrokenTable{"ends_before_piece_edge", [](PackageWriter& w) { cut_bad_block(w, Table::STORED_PIECE_SIZE - 1); },
                    COMPRESSED_TABLE_EOF},
        BrokenTable{"ends_at_piece_edge", [](PackageWriter& w) { cut_bad_block(w, Table::STORED_PIECE_SIZE); },
                    COMPRESSED_TABLE_EOF},
        BrokenTable{"ends_after_piece_edge", [](PackageWriter& w) { cut_bad_block(w, Table::STORED_PIECE_SIZE + 1); },
                    COMPRESSED_TABLE_EOF},
        BrokenTable{"ends_at_second_piece_edge",
                    [](PackageWriter& w) { cut_bad_block(w, 2 * Table::STORED_PIECE_SIZE); }, COMPRESSED_TABLE_EOF},
        BrokenTable{"bad_block_of_pieces_whole",
                    [](PackageWriter& w) { w.table_block(bad_block_of(2 * Table::STORED_PIECE_SIZE)); },
                    table_fails("0 is not a valid match offset")},
        BrokenTable{"empty_block",
                    [](PackageWriter& w) { w.declared_file_count(0).table_block(""); },
                    table_fails("expected another byte, found none")},
        BrokenTable{"empty_block_with_records_declared", [](PackageWriter& w) { w.table_block(""); },
                    table_fails("expected another byte, found none")},
        BrokenTable{"block_larger_than_declared",
                    [](PackageWriter& w) { w.declared_file_count(0).table_block("\x30" "abc"); },
                    table_fails("provided output is too small for the decompressed data, actual 0, expected 3")},
        BrokenTable{"literal_beyond_input", [](PackageWriter& w) { w.table_block("\x50" "abc"); },
                    table_fails("literal is out of bounds of the input")},
        BrokenTable{"zero_offset", [](PackageWriter& w) { w.table_block(std::string("\x10" "a\x00\x00\x00", 5)); },
                    table_fails("0 is not a valid match offset")},
        BrokenTable{"block_shorter_than_declared", [](PackageWriter& w) { w.declared_file_count(2); },
                    short_table(272, 544)},
        BrokenTable{"block_partial_record",
                    [](PackageWriter& w) { w.table_block(test_support::lz4_block(w.records().substr(0, 271))); },
                    short_table(271, 272)},
        // 0xFFFFFFFF records would need about 1.1 TiB.
        BrokenTable{"declares_4_giga_records", [](PackageWriter& w) { w.declared_file_count(0xFFFFFFFF); },
                    short_table(272, 1168231104240)}),
    test_support::package_case_name);

// The bytes that continue an LZ4 length whose nibble is 15 by `extra` more.
std::string lz4_length(std::uint64_t extra) {
  std::string bytes(extra / 255, '\xFF');
  bytes += static_cast<char>(extra % 255);
  return bytes;
}

// An LZ4 sequence of one record's literals and a match repeating it for
// `repeats` more records, or the last sequence of a block where `repeats` is 0.
std::string record_sequence(std::string_view record, std::uint64_t repeats) {
  std::string sequence(1, static_cast<char>(repeats == 0 ? 0xF0 : 0xFF));
  sequence += lz4_length(record.size() - 15);
  sequence += record;
  if (repeats == 0) return sequence;
  sequence += {static_cast<char>(record.size() & 0xFF), static_cast<char>(record.size() >> 8)};
  return sequence + lz4_length(repeats * record.size() - 4 - 15);
}

// A block of `count` (at least 2) copies of one record, from a few kB whatever
// the count; `bad_tail` holds a sequence that fails, or breaks, after them.
std::string repeated_record_block(std::uint64_t count, std::string_view bad_tail = "") {
  const std::string record = one_entry_package().records();
  if (bad_tail.empty()) return record_sequence(record, count - 2) + record_sequence(record, 0);
  return record_sequence(record, count - 1) + std::string(bad_tail);
}

// Tables around the most records a walk hands out: the walk reaches every
// record up to the limit, and fails at the next one unless the block itself
// fails first, later in the block or by decoding short.
struct LimitCase {
  const char* name;
  std::uint32_t declared;
  std::string block;
  std::string expected;  // empty: the table walks whole
};

class TableAtRecordLimit : public ::testing::TestWithParam<LimitCase> {};

TEST_P(TableAtRecordLimit, WalksUpToItOnly) {
  PackageWriter writer = one_entry_package();
  writer.declared_file_count(GetParam().declared).table_block(GetParam().block);
  const PackageFile file(writer.bytes());
  auto reader = open_pak_skipping_header(file.path());
  ASSERT_TRUE(reader.has_value());
  auto table = Table::read_from(*reader);
  ASSERT_TRUE(table.has_value());
  auto walk = table->walk(*reader);
  ASSERT_TRUE(walk.has_value());
  std::uint64_t walked = 0;
  auto ended = walk->for_each(Rest::check, [&](Record) {
    ++walked;
    return Step::next;
  });
  if (GetParam().expected.empty()) {
    EXPECT_TRUE(ended) << ended.error().message();
    EXPECT_EQ(walked, GetParam().declared);
    return;
  }
  ASSERT_FALSE(ended);
  EXPECT_EQ(ended.error().message(), GetParam().expected);
  EXPECT_LE(walked, Table::MAX_WALKED_RECORDS);
}

constexpr std::uint64_t LIMIT = Table::MAX_WALKED_RECORDS;
// A match of offset 0, which no block may hold.
const std::string ZERO_OFFSET_SEQUENCE("\x10" "a\x00\x00", 4);

INSTANTIATE_TEST_SUITE_P(
    Limits, TableAtRecordLimit,
    ::testing::Values(
        LimitCase{"at_limit", LIMIT, repeated_record_block(LIMIT), ""},
        LimitCase{"one_past_limit", LIMIT + 1, repeated_record_block(LIMIT + 1),
                  table_fails("the table holds 4194305 records, more than the 4194304 allowed")},
        LimitCase{"past_limit_then_bad_sequence", LIMIT + 20'002,
                  repeated_record_block(LIMIT + 20'001, ZERO_OFFSET_SEQUENCE),
                  table_fails("0 is not a valid match offset")},
        LimitCase{"past_limit_then_short", 0xFFFFFFFF, repeated_record_block(LIMIT + 1),
                  short_table(1140850960, 1168231104240)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Table, EmptyTableFromOneZeroByte) {
  PackageWriter writer;
  writer.table_block(std::string(1, '\0'));
  const auto records = read_records(writer);
  ASSERT_TRUE(records.has_value()) << records.error().message();
  EXPECT_TRUE(records->empty());
}

// One record, decoded: what each field becomes.
struct RecordCase {
  const char* name;
  PackageEntry entry;
  std::string expected;
};

class TableRecord : public ::testing::TestWithParam<RecordCase> {};

TEST_P(TableRecord, DecodesItsFields) {
  PackageWriter writer;
  writer.add(GetParam().entry);
  const auto records = read_records(writer);
  ASSERT_TRUE(records.has_value()) << records.error().message();
  ASSERT_EQ(records->size(), 1u);
  EXPECT_EQ(render(records->front().view().entry_details()), GetParam().expected);
}

PackageEntry meta_entry(void (*adjust)(PackageEntry&)) {
  PackageEntry entry = PackageEntry::plain("Mods/SomeMod/meta.kvt", "0123456789");
  adjust(entry);
  return entry;
}

INSTANTIATE_TEST_SUITE_P(
    Fields, TableRecord,
    ::testing::Values(
        RecordCase{"plain", meta_entry([](PackageEntry&) {}),
                   "Mods/SomeMod/meta.kvt offset=16 size_on_disk=10 uncompressed_size=10 kind=0"},
        RecordCase{"sizes_independent", meta_entry([](PackageEntry& e) {
                     e.size_on_disk = 0xFFFFFFFF;
                     e.uncompressed_size = 7;
                   }),
                   "Mods/SomeMod/meta.kvt offset=16 size_on_disk=4294967295 uncompressed_size=7 kind=0"},
        RecordCase{"offset_high_part", meta_entry([](PackageEntry& e) { e.offset = std::uint64_t{1} << 32; }),
                   "Mods/SomeMod/meta.kvt offset=4294967296 size_on_disk=10 uncompressed_size=10 kind=0"},
        RecordCase{"offset_48_bits", meta_entry([](PackageEntry& e) { e.offset = (std::uint64_t{1} << 48) - 1; }),
                   "Mods/SomeMod/meta.kvt offset=281474976710655 size_on_disk=10 uncompressed_size=10 kind=0"},
        RecordCase{"archive_part_ignored", meta_entry([](PackageEntry& e) { e.archive_part = 0xFF; }),
                   "Mods/SomeMod/meta.kvt offset=16 size_on_disk=10 uncompressed_size=10 kind=0"},
        RecordCase{"zlib", meta_entry([](PackageEntry& e) { e.flags = 0x01; }),
                   "Mods/SomeMod/meta.kvt offset=16 size_on_disk=10 uncompressed_size=10 kind=1"},
        RecordCase{"lz4_with_high_flag_bits", meta_entry([](PackageEntry& e) { e.flags = 0x12; }),
                   "Mods/SomeMod/meta.kvt offset=16 size_on_disk=10 uncompressed_size=10 kind=2"},
        RecordCase{"zstd_with_all_high_bits", meta_entry([](PackageEntry& e) { e.flags = 0xF3; }),
                   "Mods/SomeMod/meta.kvt offset=16 size_on_disk=10 uncompressed_size=10 kind=3"},
        RecordCase{"unknown_kind_4", meta_entry([](PackageEntry& e) { e.flags = 0x04; }),
                   unknown_compression(4, "Mods/SomeMod/meta.kvt")},
        RecordCase{"unknown_kind_5", meta_entry([](PackageEntry& e) { e.flags = 0x05; }),
                   unknown_compression(5, "Mods/SomeMod/meta.kvt")},
        RecordCase{"unknown_kind_15_under_high_bits", meta_entry([](PackageEntry& e) { e.flags = 0xFF; }),
                   unknown_compression(15, "Mods/SomeMod/meta.kvt")},
        RecordCase{"unknown_kind_invalid_utf8_name", meta_entry([](PackageEntry& e) {
                     e.name = "Mods/\xC3(/meta.kvt";
                     e.flags = 0x05;
                   }),
                   unknown_compression(5, "Mods/\xEF\xBF\xBD(/meta.kvt")}),
    [](const auto& info) { return std::string(info.param.name); });

struct NameCase {
  const char* name;
  std::string path;
  bool is_meta;
};

class MetaEntryName : public ::testing::TestWithParam<NameCase> {};

TEST_P(MetaEntryName, MatchesModsFolderMetaKvtOnly) {
  const auto records = read_records(PackageWriter().add(PackageEntry::plain(GetParam().path, "")));
  ASSERT_TRUE(records.has_value()) << records.error().message();
  EXPECT_EQ(records->front().view().has_meta_entry_name(), GetParam().is_meta);
}

INSTANTIATE_TEST_SUITE_P(
    Names, MetaEntryName,
    ::testing::Values(NameCase{"folder", "Mods/SomeMod/meta.kvt", true},
                      NameCase{"empty_folder", "Mods//meta.kvt", true},
                      NameCase{"one_letter_folder", "Mods/A/meta.kvt", true},
                      NameCase{"folder_with_non_utf8", "Mods/\xFF/meta.kvt", true},
                      NameCase{"shared_slash", "Mods/meta.kvt", false},
                      NameCase{"deeper", "Mods/A/B/meta.kvt", false},
                      NameCase{"suffix_after", "Mods/SomeMod/meta.kvt.bak", false},
                      NameCase{"lower_case_mods", "mods/SomeMod/meta.kvt", false},
                      NameCase{"upper_case_file", "Mods/SomeMod/META.KVT", false},
                      NameCase{"public", "Public/SomeMod/meta.kvt", false},
                      NameCase{"longer_top_folder", "Mods_A/SomeMod/meta.kvt", false},
                      NameCase{"top_folder_without_slash", "ModsA/meta.kvt", false},
                      NameCase{"leading_slash", "/Mods/SomeMod/meta.kvt", false},
                      NameCase{"no_folder_separator", "Mods/SomeModmeta.kvt", false},
                      NameCase{"empty", "", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Table, WalkKeepsRecordOrderAndCutsNames) {
  const std::string unterminated(256, 'n');
  const std::string description_filling_field = "Mods/" + std::string(242, 'F') + "/meta.kvt";
  PackageWriter writer;
  writer.add(PackageEntry::plain("Mods/B/meta.kvt", "b"))
      .add(PackageEntry::plain("Public/B/Textures/x.dds", "x"))
      .add(PackageEntry::plain(unterminated + "tail beyond the name field", ""))
      .add(PackageEntry::plain(description_filling_field, ""))
      .add(PackageEntry::plain(std::string("\0Mods/C/meta.kvt", 16), ""))
      .add(PackageEntry::plain(std::string("Mods/C\0/meta.kvt", 16), ""))
      .add(PackageEntry::plain("Mods/A/meta.kvt", "a"));
  const auto records = read_records(writer);
  ASSERT_TRUE(records.has_value()) << records.error().message();
  std::vector<std::string_view> paths;
  std::vector<bool> meta;
  for (const OwnedRecord& record : *records) {
    paths.push_back(record.view().name());
    meta.push_back(record.view().has_meta_entry_name());
  }
  EXPECT_EQ(paths, (std::vector<std::string_view>{"Mods/B/meta.kvt", "Public/B/Textures/x.dds", unterminated,
                                                  description_filling_field, "", "Mods/C", "Mods/A/meta.kvt"}));
  EXPECT_EQ(meta, (std::vector<bool>{true, false, false, true, false, false, true}));
}

// Records come in pieces of the decoder's window; tables around its edges,
// whose blocks reach back across them, walk whole and in order.
class TableOfRecords : public ::testing::TestWithParam<std::size_t> {};

TEST_P(TableOfRecords, WalksWholeAcrossPieces) {
  const std::size_t count = GetParam();
  PackageWriter writer;
  for (std::size_t i = 0; i < count; ++i) writer.add(PackageEntry::plain("Public/x/" + std::to_string(i), ""));
  const auto records = read_records(writer);
  ASSERT_TRUE(records.has_value()) << records.error().message();
  ASSERT_EQ(records->size(), count);
  for (std::size_t i = 0; i < count; ++i) ASSERT_EQ((*records)[i].view().name(), "Public/x/" + std::to_string(i));
}

constexpr std::size_t PIECE = Table::RECORDS_PER_PIECE;
INSTANTIATE_TEST_SUITE_P(PieceEdges, TableOfRecords,
                         ::testing::Values(PIECE - 1, PIECE, PIECE + 1, PIECE + 2, 2 * PIECE, 2 * PIECE + 1,
                                           3 * PIECE + 5));

// A name per record that compresses poorly, so that the stored block spans
// several of the pieces it is read in.
std::string scattered_name(std::size_t i) {
  std::uint64_t x = (i + 1) * 0x9E3779B97F4A7C15u;
  x ^= x >> 29;
  return "Public/Game/" + std::to_string(x * 0xBF58476D1CE4E5B9u);
}

// The stored block is read in pieces through the package's reader, which other
// reads may move in between: each piece is read from where the last one ended.
TEST(Table, WalkReadsItsBlockWhereverTheReaderStands) {
  constexpr std::size_t COUNT = 20'000;
  PackageWriter writer;
  for (std::size_t i = 0; i < COUNT; ++i) writer.add(PackageEntry::plain(scattered_name(i), "stored"));
  const PackageFile file(writer.bytes());
  auto reader = open_pak_skipping_header(file.path());
  ASSERT_TRUE(reader.has_value());
  auto table = Table::read_from(*reader);
  ASSERT_TRUE(table.has_value());
  ASSERT_GT(table->block_size(), 3 * Table::STORED_PIECE_SIZE);
  auto walk = table->walk(*reader);
  ASSERT_TRUE(walk.has_value());
  std::size_t index = 0;
  auto walked = walk->for_each(Rest::check, [&](Record record) {
    EXPECT_EQ(record.name(), scattered_name(index));
    // Another read between records, as a description extracted mid-walk makes.
    std::array<char, 6> stored;
    EXPECT_TRUE(reader->seek_absolute(test_support::HEADER_SIZE + 6 * index).has_value());
    EXPECT_TRUE(reader->read_exact(stored).has_value());
    ++index;
    return Step::next;
  });
  EXPECT_TRUE(walked) << walked.error().message();
  EXPECT_EQ(index, COUNT);
}

}  // namespace
}  // namespace quellan::raw::voka::read::table
