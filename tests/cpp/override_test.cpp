#include "raw/voka/read/override.h"

#include <gtest/gtest.h>

#include <string>

namespace quellan::raw::voka::read {
namespace {

struct PathCase {
  const char* name;
  std::string path;
  std::string folder;
  bool is_override;
};

class OverridePackagePath : public ::testing::TestWithParam<PathCase> {};

TEST_P(OverridePackagePath, ClassifiesByteForByte) {
  EXPECT_EQ(is_override_package_path(GetParam().path, GetParam().folder), GetParam().is_override);
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

}  // namespace
}  // namespace quellan::raw::voka::read
