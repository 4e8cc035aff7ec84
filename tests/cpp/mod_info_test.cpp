#include "raw/voka/read/mod_info.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "raw/voka/entry_details.h"
#include "support/messages.h"
#include "support/package_case.h"
#include "support/meta_kvt.h"
#include "support/package_writer.h"
#include "support/temp_dir.h"

namespace quellan::raw::voka::read {
namespace {

using test_support::minimal_meta_kvt;
using test_support::PackageEntry;
using test_support::PackageFile;
using test_support::PackageWriter;

// The folders of the descriptions found, in order, or the error's message.
std::string lookup(const PackageWriter& writer) {
  const PackageFile file(writer.bytes());
  const auto descriptions = get_mod_info_from_pak(file.path());
  if (!descriptions) return descriptions.error().message();
  std::string folders = "[";
  for (const auto& description : *descriptions) {
    if (folders.size() > 1) folders += ", ";
    folders += description.module_info.folder;
  }
  return folders + "]";
}

// A metadata file at `name` describing the module in `folder`.
PackageEntry description(std::string name, std::string_view folder) {
  return PackageEntry::zlib(std::move(name), minimal_meta_kvt(folder));
}

// A description of A, then a record pointing at the same stored bytes but for
// the one field that `change` sets: the two must not share a parse.
void description_then_near_alias(PackageWriter& w, void (*change)(PackageEntry&)) {
  const PackageEntry first = description("Mods/A/meta.kvt", "A");
  PackageEntry alias = first;
  alias.offset = test_support::HEADER_SIZE;
  alias.size_on_disk = static_cast<std::uint32_t>(first.stored.size());
  alias.stored.clear();
  change(alias);
  w.add(first).add(alias);
}

using LookupCase = test_support::PackageCase;

class GetModInfoFromPak : public ::testing::TestWithParam<LookupCase> {};

TEST_P(GetModInfoFromPak, ListsDescriptionsInTableOrderOrFails) {
  PackageWriter writer;
  GetParam().build(writer);
  EXPECT_EQ(lookup(writer), GetParam().expected);
}

// The first description alone, the others only checked: the same answers.
TEST_P(GetModInfoFromPak, FindsTheSameFirstDescriptionAndCount) {
  PackageWriter writer;
  GetParam().build(writer);
  const PackageFile file(writer.bytes());
  const auto all = get_mod_info_from_pak(file.path());
  const auto first = get_first_mod_info_from_pak(file.path());
  ASSERT_EQ(first.has_value(), all.has_value());
  if (!all) {
    EXPECT_EQ(first.error().message(), all.error().message());
    return;
  }
  EXPECT_EQ(first->count, all->size());
  if (!all->empty()) {
    EXPECT_EQ(first->first->module_info.folder, all->front().module_info.folder);
  }
}

using test_support::MODULE_INFO_FAILS;
using test_support::NO_MODULE_INFO;
using test_support::short_table;

INSTANTIATE_TEST_SUITE_P(
    Packages, GetModInfoFromPak,
    ::testing::Values(
        LookupCase{"no_entries", [](PackageWriter&) {}, "[]"},
        LookupCase{"only_content", [](PackageWriter& w) { w.add(PackageEntry::plain("Public/A/x.bpf", "x")); }, "[]"},
        LookupCase{"one", [](PackageWriter& w) { w.add(description("Mods/SomeMod/meta.kvt", "SomeMod")); },
                   "[SomeMod]"},
        LookupCase{"each_compression_kind",
                   [](PackageWriter& w) {
                     w.add(PackageEntry::plain("Mods/A/meta.kvt", minimal_meta_kvt("A")))
                         .add(PackageEntry::zlib("Mods/B/meta.kvt", minimal_meta_kvt("B")))
                         .add(PackageEntry::lz4("Mods/C/meta.kvt", minimal_meta_kvt("C")));
                   },
                   "[A, B, C]"},
        LookupCase{"table_order_kept",
                   [](PackageWriter& w) {
                     w.add(description("Mods/B/meta.kvt", "B")).add(description("Mods/A/meta.kvt", "A"));
                   },
                   "[B, A]"},
        LookupCase{"duplicates_kept",
                   [](PackageWriter& w) {
                     w.add(description("Mods/A/meta.kvt", "A")).add(description("Mods/A/meta.kvt", "A"));
                   },
                   "[A, A]"},
        LookupCase{"other_places_ignored",
                   [](PackageWriter& w) {
                     w.add(description("Mods/A/B/meta.kvt", "Deeper"))
                         .add(description("Public/A/meta.kvt", "Public"))
                         .add(description("mods/A/meta.kvt", "LowerCase"))
                         .add(description("Mods/meta.kvt", "NoFolder"))
                         .add(description("Mods/A/meta.kvt.bak", "Backup"));
                   },
                   "[]"},
        LookupCase{"empty_folder_counted", [](PackageWriter& w) { w.add(description("Mods//meta.kvt", "Empty")); },
                   "[Empty]"},
        LookupCase{"foreign_header_not_verified",
                   [](PackageWriter& w) {
                     w.magic("ABCD").version(0).add(description("Mods/A/meta.kvt", "A"));
                   },
                   "[A]"},
        LookupCase{"second_entry_zstd",
                   [](PackageWriter& w) {
                     PackageEntry zstd = description("Mods/B/meta.kvt", "B");
                     zstd.flags = 0x03;
                     w.add(description("Mods/A/meta.kvt", "A")).add(zstd);
                   },
                   test_support::ZSTD_UNSUPPORTED},
        LookupCase{"second_entry_unknown_compression",
                   [](PackageWriter& w) {
                     PackageEntry unknown = description("Mods/B/meta.kvt", "B");
                     unknown.flags = 0x05;
                     w.add(description("Mods/A/meta.kvt", "A")).add(unknown);
                   },
                   test_support::unknown_compression(5, "Mods/B/meta.kvt")},
        LookupCase{"second_entry_without_module_info",
                   [](PackageWriter& w) {
                     w.add(description("Mods/A/meta.kvt", "A"))
                         .add(PackageEntry::zlib("Mods/B/meta.kvt", "<save><region id=\"Config\"/></save>"));
                   },
                   NO_MODULE_INFO},
        LookupCase{"second_entry_with_a_text_that_does_not_unescape",
                   [](PackageWriter& w) {
                     w.add(description("Mods/A/meta.kvt", "A"))
                         .add(PackageEntry::zlib("Mods/B/meta.kvt",
                                                 "<save><node id=\"ModuleInfo\"><attribute id=\"Name\" "
                                                 "value=\"x &bad; y\"/></node></save>"));
                   },
                   MODULE_INFO_FAILS},
        LookupCase{"first_entry_without_module_info_stops_the_walk",
                   [](PackageWriter& w) {
                     PackageEntry zstd = description("Mods/B/meta.kvt", "B");
                     zstd.flags = 0x03;
                     w.add(PackageEntry::plain("Mods/A/meta.kvt", "")).add(zstd);
                   },
                   NO_MODULE_INFO},
        LookupCase{"more_than_kept_on_the_first_walk",
                   [](PackageWriter& w) {
                     for (char folder = 'A'; folder <= 'T'; ++folder) {
                       w.add(description("Mods/" + std::string(1, folder) + "/meta.kvt", std::string(1, folder)));
                     }
                   },
                   "[A, B, C, D, E, F, G, H, I, J, K, L, M, N, O, P, Q, R, S, T]"},
        // Past the records kept, the rest of the first walk is still checked
        // before any description is read, the bad one past them included.
        LookupCase{"more_than_kept_then_short_table",
                   [](PackageWriter& w) {
                     for (char folder = 'A'; folder <= 'T'; ++folder) {
                       const std::string name(1, folder);
                       PackageEntry entry = description("Mods/" + name + "/meta.kvt", name);
                       if (folder == 'R') entry.flags = 0x05;
                       w.add(entry);
                     }
                     w.declared_file_count(21);
                   },
                   short_table(5440, 5712)},
        LookupCase{"bad_flags_outside_descriptions_ignored",
                   [](PackageWriter& w) {
                     PackageEntry unknown = PackageEntry::plain("Mods/A/B/meta.kvt", "");
                     unknown.flags = 0x05;
                     w.add(unknown).add(description("Mods/A/meta.kvt", "A"));
                   },
                   "[A]"},
        // A table that does not decode fails before any record does.
        LookupCase{"table_unreadable_after_bad_record",
                   [](PackageWriter& w) {
                     PackageEntry unknown = description("Mods/B/meta.kvt", "B");
                     unknown.flags = 0x05;
                     w.add(unknown).add(PackageEntry::plain("x", "")).declared_file_count(3);
                   },
                   short_table(544, 816)},
        // Records that share stored bytes share a parse; these differ in one field.
        LookupCase{"same_but_offset",
                   [](PackageWriter& w) {
                     w.add(PackageEntry::plain("Mods/A/meta.kvt", minimal_meta_kvt("A")))
                         .add(PackageEntry::plain("Mods/A/meta.kvt", minimal_meta_kvt("B")));
                   },
                   "[A, B]"},
        LookupCase{"same_but_size_on_disk",
                   [](PackageWriter& w) {
                     description_then_near_alias(w, [](PackageEntry& e) { *e.size_on_disk /= 2; });
                   },
                   "tried to decompress Mods/A/meta.kvt but got failed to fill whole buffer"},
        LookupCase{"same_but_uncompressed_size",
                   [](PackageWriter& w) {
                     description_then_near_alias(w, [](PackageEntry& e) { ++e.uncompressed_size; });
                   },
                   "tried to decompress Mods/A/meta.kvt but got failed to fill whole buffer"},
        LookupCase{"same_but_kind",
                   [](PackageWriter& w) { description_then_near_alias(w, [](PackageEntry& e) { e.flags = 0x02; }); },
                   "tried to LZ4 decompress file Mods/A/meta.kvt at offset 16 with compressed_length 0x12b and "
                   "decompressed length 0x2a0 but got the offset to copy is not contained in the decompressed buffer"},
        LookupCase{"table_unreadable",
                   [](PackageWriter& w) { w.add(description("Mods/A/meta.kvt", "A")).declared_file_count(2); },
                   short_table(272, 544)}),
    test_support::package_case_name);

// Records may all point at the same stored bytes. The four copies of one
// description below produce exactly the call's allowance and are read; one
// more byte, from the next entry, is refused in the words of a file too large.
TEST(GetModInfoFromPak, DescriptionsMayTotalTheCallAllowanceButNotPassIt) {
  std::string largest = minimal_meta_kvt("F");
  largest.resize(MAX_DECOMPRESSED_SIZE, ' ');
  static_assert(MAX_EXTRACTED_PER_CALL == 4 * std::size_t{MAX_DECOMPRESSED_SIZE});
  PackageWriter writer;
  writer.add(PackageEntry::zlib("Mods/F/meta.kvt", largest)).add_aliases(0, 3);
  EXPECT_EQ(lookup(writer), "[F, F, F, F]");
  writer.add(PackageEntry::plain("Mods/G/meta.kvt", " "));
  EXPECT_EQ(lookup(writer), "when reading compressed Mods/G/meta.kvt from .pak got the data is more than the 0 bytes "
                            "allowed");
}

// A record read from the bytes of the one before is not parsed again, yet comes
// back whole, its dependencies included.
TEST(GetModInfoFromPak, RecordsSharingStoredBytesGiveTheSameDescription) {
  const std::string document =
      test_support::meta_kvt_document({{"Folder", "A"}, {"Name", "Alpha"}}, {{{"Folder", "B"}}, {{"Folder", "C"}}});
  PackageWriter writer;
  writer.add(PackageEntry::lz4("Mods/A/meta.kvt", document)).add_aliases(0, 2);
  const PackageFile file(writer.bytes());
  const auto descriptions = get_mod_info_from_pak(file.path());
  ASSERT_TRUE(descriptions.has_value()) << descriptions.error().message();
  ASSERT_EQ(descriptions->size(), 3u);
  for (const auto& description : *descriptions) {
    EXPECT_EQ(description.module_info.name, "Alpha");
    ASSERT_EQ(description.dependencies.size(), 2u);
    EXPECT_EQ(description.dependencies[1].folder, "C");
  }
}

// Every description costs the call's allowance at least MIN_EXTRACTION_COST, so
// a call extracts at most this many, however small they are.
TEST(GetModInfoFromPak, DescriptionsAreCountedAtLeastTheirMinimumCost) {
  constexpr std::size_t MOST = MAX_EXTRACTED_PER_CALL / MIN_EXTRACTION_COST;
  PackageWriter writer;
  writer.add(description("Mods/F/meta.kvt", "F")).add_aliases(0, MOST - 1);
  const PackageFile file(writer.bytes());
  const auto found = get_first_mod_info_from_pak(file.path());
  ASSERT_TRUE(found.has_value()) << found.error().message();
  EXPECT_EQ(found->count, MOST);
  EXPECT_EQ(found->first->module_info.folder, "F");
  writer.add_aliases(0, 1);
  EXPECT_EQ(lookup(writer), "when reading compressed Mods/F/meta.kvt from .pak got the data is more than the 0 bytes "
                            "allowed");
}

TEST(GetModInfoFromPak, MissingFileFailsWithThePath) {
  EXPECT_EQ(get_mod_info_from_pak("/nonexistent/quellan.pak").error().message(),
            "when reading /nonexistent/quellan.pak got No such file or directory (os error 2)");
}

}  // namespace
}  // namespace quellan::raw::voka::read
