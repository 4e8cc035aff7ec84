#include "raw/voka/read/override.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "support/messages.h"
#include "support/meta_kvt.h"
#include "support/package_case.h"
#include "support/package_writer.h"
#include "support/temp_dir.h"

namespace quellan::raw::voka::read {
namespace {

using test_support::PackageEntry;
using test_support::PackageFile;
using test_support::PackageWriter;

struct PathCase {
  const char* name;
  std::string path;
  std::string folder;
  bool is_override;
};

class OverridePackagePath : public ::testing::TestWithParam<PathCase> {};

// The answer of the whole test on `writer`'s package, or its error's message.
std::string override_answer(const PackageWriter& writer) {
  const PackageFile file(writer.bytes());
  const auto answer = is_override(file.path());
  return answer ? (*answer ? "true" : "false") : answer.error().message();
}

PackageEntry description_of(std::string_view folder) {
  return PackageEntry::plain("Mods/D/meta.kvt", test_support::minimal_meta_kvt(folder));
}

TEST_P(OverridePackagePath, ClassifiesByteForByte) {
  EXPECT_EQ(is_override_package_path(GetParam().path, GetParam().folder), GetParam().is_override);
}

// A package of the path and a description naming the folder answers the same
// whether the path comes before the description, when only the folders it could
// be content of are known, or after it.
TEST_P(OverridePackagePath, AnswersAlikeBeforeAndAfterTheDescription) {
  const std::string expected = GetParam().is_override ? "true" : "false";
  const PackageEntry path = PackageEntry::plain(GetParam().path, "");
  EXPECT_EQ(override_answer(PackageWriter().add(path).add(description_of(GetParam().folder))), expected);
  EXPECT_EQ(override_answer(PackageWriter().add(description_of(GetParam().folder)).add(path)), expected);
}

constexpr bool OVERRIDE = true;
constexpr bool CONTENT = false;
const std::string MATERIAL_GROUPS = "Public/Engine/Timeline/MaterialGroups/";

INSTANTIATE_TEST_SUITE_P(
    Rules, OverridePackagePath,
    ::testing::Values(
        PathCase{"empty_path", "", "Foo", OVERRIDE},
        PathCase{"mods_file", "Mods/Foo/x.txt", "Foo", CONTENT},
        PathCase{"mods_deeper_meta_kvt", "Mods/Foo/Story/meta.kvt", "Foo", CONTENT},
        PathCase{"mods_description", "Mods/Foo/meta.kvt", "Foo", OVERRIDE},
        PathCase{"mods_description_other_case", "Mods/Foo/Meta.kvt", "Foo", CONTENT},
        PathCase{"mods_description_longer", "Mods/Foo/meta.kvtx", "Foo", CONTENT},
        PathCase{"mods_bare_folder", "Mods/Foo/", "Foo", OVERRIDE},
        PathCase{"mods_folder_without_slash", "Mods/Foo", "Foo", OVERRIDE},
        PathCase{"mods_longer_segment", "Mods/Foobar/x.txt", "Foo", OVERRIDE},
        PathCase{"mods_shorter_segment", "Mods/Fo/x.txt", "Foo", OVERRIDE},
        PathCase{"mods_other_folder", "Mods/Bar/x.txt", "Foo", OVERRIDE},
        PathCase{"mods_lower_case_top", "mods/Foo/x.txt", "Foo", OVERRIDE},
        PathCase{"mods_longer_top", "Mods_A/Foo/x.txt", "Foo", OVERRIDE},
        PathCase{"mods_longer_top_named_folder", "Mods_A/Foo/x.txt", "A", OVERRIDE},
        PathCase{"public_longer_top", "PublicX/Foo/x", "Foo", OVERRIDE},
        PathCase{"public_file", "Public/Foo/a.dds", "Foo", CONTENT},
        PathCase{"public_meta_kvt", "Public/Foo/meta.kvt", "Foo", CONTENT},
        PathCase{"public_bare_folder", "Public/Foo/", "Foo", OVERRIDE},
        PathCase{"public_other_case", "Public/foo/x.txt", "Foo", OVERRIDE},
        PathCase{"public_other_folder", "Public/Game/x.txt", "Foo", OVERRIDE},
        PathCase{"material_groups_file", MATERIAL_GROUPS + "g.bin", "Foo", CONTENT},
        PathCase{"material_groups_bare", MATERIAL_GROUPS, "Foo", OVERRIDE},
        PathCase{"material_groups_without_slash", "Public/Engine/Timeline/MaterialGroups", "Foo", OVERRIDE},
        PathCase{"material_groups_longer_segment", "Public/Engine/Timeline/MaterialGroupsX/g.bin", "Foo",
                 OVERRIDE},
        // Public/<folder>/ is tried before the shared folder, so a folder named
        // Engine owns the bare shared folder too.
        PathCase{"material_groups_bare_under_folder", MATERIAL_GROUPS, "Engine", CONTENT},
        // A segment never holds "/", so a folder name that does matches nothing.
        PathCase{"slash_in_folder_mods", "Mods/A/B/x.txt", "A/B", OVERRIDE},
        PathCase{"slash_in_folder_public", "Public/A/B/x.txt", "A/B", OVERRIDE},
        PathCase{"slash_in_folder_description", "Mods/A/B/meta.kvt", "A/B", OVERRIDE},
        PathCase{"empty_folder_mods", "Mods//x.txt", "", CONTENT},
        PathCase{"empty_folder_public", "Public//x.txt", "", CONTENT},
        PathCase{"empty_folder_description", "Mods//meta.kvt", "", OVERRIDE},
        PathCase{"empty_folder_bare", "Mods//", "", OVERRIDE},
        PathCase{"empty_folder_named_folder", "Mods/Foo/x.txt", "", OVERRIDE}),
    [](const auto& info) { return std::string(info.param.name); });

// Names read in place from their records, where the name ends at a zero byte
// or fills its 256-byte field and the record's other fields follow: the bytes
// after a name's end are never part of it.
struct RecordNameCase {
  const char* name;
  std::string stored_name;  // the name field's bytes, up to all 256
  std::string folder;
  bool is_override;
  bool slashes_after_field = false;  // "/" in every byte of the offset that follows the name field
};

class OverrideRecordName : public ::testing::TestWithParam<RecordNameCase> {};

TEST_P(OverrideRecordName, EndsWhereTheNameEnds) {
  const std::string expected = GetParam().is_override ? "true" : "false";
  PackageEntry path = PackageEntry::plain(GetParam().stored_name, "");
  if (GetParam().slashes_after_field) path.offset = 0x2F2F2F2F2F2F;
  EXPECT_EQ(override_answer(PackageWriter().add(path).add(description_of(GetParam().folder))), expected);
  EXPECT_EQ(override_answer(PackageWriter().add(description_of(GetParam().folder)).add(path)), expected);
}

std::string with_zero(std::string_view before, std::string_view after) {
  return std::string(before) + '\0' + std::string(after);
}

INSTANTIATE_TEST_SUITE_P(
    Names, OverrideRecordName,
    ::testing::Values(
        RecordNameCase{"zero_before_folder_slash", with_zero("Mods/Foo", "/x"), "Foo", OVERRIDE},
        RecordNameCase{"zero_after_folder_slash", with_zero("Public/Foo/", "x"), "Foo", OVERRIDE},
        RecordNameCase{"zero_after_description", with_zero("Mods/Foo/meta.kvt", "x"), "Foo", OVERRIDE},
        RecordNameCase{"zero_inside_description", with_zero("Mods/Foo/meta.kv", "t"), "Foo", CONTENT},
        RecordNameCase{"zero_after_material_groups", with_zero(MATERIAL_GROUPS, "g"), "Foo", OVERRIDE},
        RecordNameCase{"content_filling_field", "Public/" + std::string(240, 'F') + "/12345678", std::string(240, 'F'),
                       CONTENT},
        RecordNameCase{"slash_last_in_field", "Public/" + std::string(248, 'F') + "/", std::string(248, 'F'),
                       OVERRIDE, true},
        RecordNameCase{"no_slash_in_field", "Public/" + std::string(249, 'F'), std::string(249, 'F'), OVERRIDE, true},
        RecordNameCase{"description_filling_field", "Mods/" + std::string(242, 'F') + "/meta.kvt",
                       std::string(242, 'F'), OVERRIDE}),
    [](const auto& info) { return std::string(info.param.name); });

// Packages whose answer depends on where the walk over the table stops.
using WalkCase = test_support::PackageCase;

class OverrideWalk : public ::testing::TestWithParam<WalkCase> {};

TEST_P(OverrideWalk, AnswersOrFailsAsTheWholeTable) {
  PackageWriter writer;
  GetParam().build(writer);
  EXPECT_EQ(override_answer(writer), GetParam().expected);
}

// Met in descending byte order, unlike any order they might be kept in.
std::string near_identical_folder(int i) { return std::string(239, 'F') + static_cast<char>('~' - i); }

// 240 bytes alike but for one byte, whose place moves with `i`: folders that
// share first bytes of every length with one another.
std::string staggered_folder(int i, char differing = 'G') {
  std::string folder(240, 'F');
  folder[static_cast<std::size_t>(i * 37 % 240)] = differing;
  return folder;
}

void staggered_folders(PackageWriter& w) {
  for (int i = 0; i < 64; ++i) w.add(PackageEntry::plain("Public/" + staggered_folder(i) + "/x", ""));
}

// A path in the `i`-th of many game folders.
PackageEntry game_folder_path(int i) { return PackageEntry::plain("Public/Game" + std::to_string(i) + "/x", ""); }

// Paths in more game folders than are remembered before the description.
void many_folders(PackageWriter& w) {
  for (int i = 0; i < 100; ++i) w.add(game_folder_path(i));
}

// The 64 folders of 240 bytes that are kept at most, alike but for their last
// byte, each holding a path; `extra` more such folders after them.
void near_identical_folders(PackageWriter& w, int extra = 0) {
  for (int i = 0; i < 64 + extra; ++i) w.add(PackageEntry::plain("Public/" + near_identical_folder(i) + "/x", ""));
}

const std::string SHORT_TABLE = test_support::short_table(544, 816);

INSTANTIATE_TEST_SUITE_P(
    Packages, OverrideWalk,
    ::testing::Values(
        WalkCase{"content_past_remembered_folders",
                 [](PackageWriter& w) {
                   many_folders(w);
                   w.add(PackageEntry::plain("Public/Foo/x", "")).add(description_of("Foo"));
                 },
                 "false"},
        WalkCase{"no_content_past_remembered_folders",
                 [](PackageWriter& w) {
                   many_folders(w);
                   w.add(description_of("Foo"));
                 },
                 "true"},
        WalkCase{"near_identical_folders_kept",
                 [](PackageWriter& w) {
                   near_identical_folders(w);
                   w.add(description_of(near_identical_folder(37)));
                 },
                 "false"},
        WalkCase{"near_identical_folders_past_kept",
                 [](PackageWriter& w) {
                   near_identical_folders(w, 1);
                   w.add(description_of(near_identical_folder(64)));
                 },
                 "false"},
        WalkCase{"near_identical_folders_none_described",
                 [](PackageWriter& w) {
                   near_identical_folders(w, 1);
                   w.add(description_of(near_identical_folder(65)));
                 },
                 "true"},
        // Alike in all but one byte before the last, which the whole group shares.
        WalkCase{"near_identical_folders_other_shared_byte",
                 [](PackageWriter& w) {
                   near_identical_folders(w);
                   std::string folder = near_identical_folder(37);
                   folder[100] = 'G';
                   w.add(description_of(folder));
                 },
                 "true"},
        // Runs of paths in one folder are looked up once: folders of a length
        // met one after another are still told apart, by every byte.
        WalkCase{"run_of_short_folders",
                 [](PackageWriter& w) {
                   w.add(PackageEntry::plain("Public/AB/x", "")).add(PackageEntry::plain("Public/CB/x", ""));
                   w.add(description_of("CB"));
                 },
                 "false"},
        WalkCase{"run_of_folders_sharing_a_word",
                 [](PackageWriter& w) {
                   w.add(PackageEntry::plain("Public/FFFFFFFFA/x", ""));
                   w.add(PackageEntry::plain("Public/FFFFFFFFB/x", "")).add(description_of("FFFFFFFFB"));
                 },
                 "false"},
        // More folders than are scanned, of many lengths and first bytes.
        WalkCase{"many_folders_kept",
                 [](PackageWriter& w) {
                   for (int i = 0; i < 64; ++i) w.add(game_folder_path(i));
                   w.add(description_of("Game20"));
                 },
                 "false"},
        WalkCase{"staggered_folders_kept",
                 [](PackageWriter& w) {
                   staggered_folders(w);
                   w.add(description_of(staggered_folder(45)));
                 },
                 "false"},
        WalkCase{"staggered_folders_none_described",
                 [](PackageWriter& w) {
                   staggered_folders(w);
                   w.add(description_of(staggered_folder(45, 'E')));
                 },
                 "true"},
        // Only the first description is read: one that does not parse names no
        // module, whatever a later one names.
        WalkCase{"unparsable_first_description",
                 [](PackageWriter& w) {
                   w.add(PackageEntry::plain("Mods/A/meta.kvt", ""))
                       .add(PackageEntry::plain("Mods/B/meta.kvt", test_support::minimal_meta_kvt("Foo")))
                       .add(PackageEntry::plain("Public/Foo/x", ""));
                 },
                 "true"},
        // Wherever the walk stops, the rest of the table must still decode.
        WalkCase{"content_then_short_table",
                 [](PackageWriter& w) {
                   w.add(description_of("Foo")).add(PackageEntry::plain("Public/Foo/x", "")).declared_file_count(3);
                 },
                 SHORT_TABLE},
        WalkCase{"unparsable_description_then_short_table",
                 [](PackageWriter& w) {
                   w.add(PackageEntry::plain("Mods/D/meta.kvt", "")).add(PackageEntry::plain("x", ""));
                   w.declared_file_count(3);
                 },
                 SHORT_TABLE},
        WalkCase{"zstd_description_then_short_table",
                 [](PackageWriter& w) {
                   PackageEntry zstd = description_of("Foo");
                   zstd.flags = 0x03;
                   w.add(zstd).add(PackageEntry::plain("x", "")).declared_file_count(3);
                 },
                 SHORT_TABLE},
        WalkCase{"zstd_description",
                 [](PackageWriter& w) {
                   PackageEntry zstd = description_of("Foo");
                   zstd.flags = 0x03;
                   w.add(zstd).add(PackageEntry::plain("Public/Foo/x", ""));
                 },
                 test_support::ZSTD_UNSUPPORTED}),
    test_support::package_case_name);

// A package noting one folder, alone or among more folders than are scanned,
// then describing a folder as long: the same, or one that differs in one byte.
struct ShortFolderCase {
  std::size_t size;
  std::optional<std::size_t> differing;
  bool crowded;
};

class OverrideShortFolder : public ::testing::TestWithParam<ShortFolderCase> {};

// Folders of up to a word are told apart by their first bytes alone, read in
// place from the record or copied from the description: a byte either reading
// misses would pass for the same folder, and one it adds would lose the folder.
TEST_P(OverrideShortFolder, FindsTheFolderAndNoOther) {
  const auto [size, differing, crowded] = GetParam();
  const std::string described(size, 'A');
  std::string noted = described;
  if (differing) noted[*differing] = 'B';
  PackageWriter writer;
  for (int i = 0; crowded && i < 20; ++i) writer.add(game_folder_path(i));
  writer.add(PackageEntry::plain("Public/" + noted + "/x", "")).add(description_of(described));
  EXPECT_EQ(override_answer(writer), differing ? "true" : "false");
}

std::vector<ShortFolderCase> short_folder_cases() {
  std::vector<ShortFolderCase> cases;
  for (std::size_t size = 1; size <= 9; ++size) {
    for (const bool crowded : {false, true}) {
      cases.push_back({size, std::nullopt, crowded});
      for (std::size_t differing = 0; differing < size; ++differing) cases.push_back({size, differing, crowded});
    }
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Bytes, OverrideShortFolder, ::testing::ValuesIn(short_folder_cases()),
                         [](const auto& info) {
                           const auto& c = info.param;
                           return "size_" + std::to_string(c.size) +
                                  (c.differing ? "_byte_" + std::to_string(*c.differing) : "_same") +
                                  (c.crowded ? "_crowded" : "");
                         });

}  // namespace
}  // namespace quellan::raw::voka::read
