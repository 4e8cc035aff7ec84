#include "raw/voka/read/open_pak.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cstdint>
#include <string>
#include <vector>

#include "raw/voka/read/table/table.h"
#include "support/package_writer.h"
#include "support/temp_dir.h"

namespace quellan::raw::voka::read {
namespace {

using test_support::PackageEntry;
using test_support::PackageFile;
using test_support::PackageWriter;
using test_support::TempDir;

// What a caller sees after opening: the error message, or the table the reader
// was left at.
constexpr const char* TABLE_READ = "table of 1 file";
constexpr const char* PATH = "{path}";

std::string outcome(error::Result<PackageReader> reader) {
  if (!reader) return reader.error().message();
  auto table = table::Table::read_from(*reader);
  if (!table) return table.error().message();
  return table->number_of_files() == 1 ? TABLE_READ : "unexpected table";
}

std::string with_path(std::string expected, const std::string& path) {
  if (const auto at = expected.find(PATH); at != std::string::npos) {
    expected.replace(at, std::string_view(PATH).size(), path);
  }
  return expected;
}

std::string package(void (*adjust)(PackageWriter&)) {
  PackageWriter writer;
  writer.add(PackageEntry::plain("Mods/A/meta.kvt", "contents"));
  adjust(writer);
  return writer.bytes();
}

std::string sound_package() {
  return package([](PackageWriter&) {});
}

struct OpenCase {
  const char* name;
  std::string bytes;
  std::string validating;  // outcome of open_pak_validating_header
  std::string skipping;    // outcome of open_pak_skipping_header
};

class OpenPak : public ::testing::TestWithParam<OpenCase> {};

TEST_P(OpenPak, BothProceduresReachTheTableOrFailWithTheirOwnContext) {
  const PackageFile file(GetParam().bytes);
  EXPECT_EQ(outcome(open_pak_validating_header(file.path())), with_path(GetParam().validating, file.path()));
  EXPECT_EQ(outcome(open_pak_skipping_header(file.path())), with_path(GetParam().skipping, file.path()));
}

const std::string HEADER_EOF = "when reading .pak header got failed to fill whole buffer";
const std::string FOOTER_EOF_SKIPPING = "when reading footer offset of {path} got failed to fill whole buffer";
const std::string TABLE_EOF = "when reading .pak number of files contained files got failed to fill whole buffer";
// Offsets of 2^63 and above do not fit the system's signed file offset.
const std::string SEEK_REFUSED_VALIDATING =
    "when seeking to .pak footer offset got Invalid argument (os error 22)";
const std::string SEEK_REFUSED_SKIPPING =
    "when seeking footer metadata of {path} got Invalid argument (os error 22)";
const std::string UNSUPPORTED = "the file indicated a version number that this tool does not support";

INSTANTIATE_TEST_SUITE_P(
    Headers, OpenPak,
    ::testing::Values(
        OpenCase{"sound", sound_package(), TABLE_READ, TABLE_READ},
        OpenCase{"empty_file", "", HEADER_EOF, FOOTER_EOF_SKIPPING},
        OpenCase{"three_magic_bytes", "VOK", HEADER_EOF, FOOTER_EOF_SKIPPING},
        OpenCase{"magic_only", "VOKA", "when reading .pak format version got failed to fill whole buffer",
                 FOOTER_EOF_SKIPPING},
        OpenCase{"ends_within_footer_offset", sound_package().substr(0, 10),
                 "when reading .pak footer offset got failed to fill whole buffer", FOOTER_EOF_SKIPPING},
        OpenCase{"foreign_magic", package([](PackageWriter& w) { w.magic("ABCD"); }),
                 "found [65, 66, 67, 68] instead of [86, 79, 75, 65]", TABLE_READ},
        OpenCase{"lower_case_magic", package([](PackageWriter& w) { w.magic("voka"); }),
                 "found [118, 111, 107, 97] instead of [86, 79, 75, 65]", TABLE_READ},
        OpenCase{"version_0", package([](PackageWriter& w) { w.version(0); }), UNSUPPORTED, TABLE_READ},
        OpenCase{"version_17", package([](PackageWriter& w) { w.version(17); }), UNSUPPORTED, TABLE_READ},
        OpenCase{"version_17_refused_before_footer_offset",
                 package([](PackageWriter& w) { w.version(17); }).substr(0, 8), UNSUPPORTED, FOOTER_EOF_SKIPPING},
        OpenCase{"version_19", package([](PackageWriter& w) { w.version(19); }), TABLE_READ, TABLE_READ},
        OpenCase{"version_max", package([](PackageWriter& w) { w.version(0xFFFFFFFF); }), TABLE_READ, TABLE_READ},
        OpenCase{"footer_at_end_of_file", package([](PackageWriter& w) { w.footer_offset(w.bytes().size()); }),
                 TABLE_EOF, TABLE_EOF},
        OpenCase{"footer_past_end_of_file", package([](PackageWriter& w) { w.footer_offset(1 << 20); }), TABLE_EOF,
                 TABLE_EOF},
        OpenCase{"footer_at_2_pow_63", package([](PackageWriter& w) { w.footer_offset(std::uint64_t{1} << 63); }),
                 SEEK_REFUSED_VALIDATING, SEEK_REFUSED_SKIPPING},
        OpenCase{"footer_at_2_pow_64_minus_1", package([](PackageWriter& w) { w.footer_offset(UINT64_MAX); }),
                 SEEK_REFUSED_VALIDATING, SEEK_REFUSED_SKIPPING}),
    [](const auto& info) { return std::string(info.param.name); });

// Paths that name no regular package file.
struct PathCase {
  const char* name;
  std::string (*make_path)(const TempDir&);
  std::string validating;
  std::string skipping;
};

class OpenPakPath : public ::testing::TestWithParam<PathCase> {};

TEST_P(OpenPakPath, FailsWithoutWaiting) {
  const TempDir dir;
  const std::string path = GetParam().make_path(dir);
  EXPECT_EQ(outcome(open_pak_validating_header(path)), with_path(GetParam().validating, path));
  EXPECT_EQ(outcome(open_pak_skipping_header(path)), with_path(GetParam().skipping, path));
}

const std::string NOT_FOUND = "when reading {path} got No such file or directory (os error 2)";
const std::string NOT_REGULAR = "when reading {path} got not a regular file";

// What the system itself answers differs: Linux opens a directory and fails its
// first read, Windows opens none; a FIFO is Linux's alone, and Windows' device
// names are devices in every folder.
#ifdef _WIN32
const std::string DIRECTORY = "when reading {path} got Permission denied (os error 13)";
const std::vector<PathCase> SYSTEM_PATHS = {
    PathCase{"directory", [](const TempDir& dir) { return dir.path(); }, DIRECTORY, DIRECTORY},
    PathCase{"character_device", [](const TempDir& dir) { return dir.path_of("NUL"); }, NOT_REGULAR, NOT_REGULAR},
};
#else
const std::vector<PathCase> SYSTEM_PATHS = {
    PathCase{"directory", [](const TempDir& dir) { return dir.path(); },
             "when reading .pak header got Is a directory (os error 21)",
             "when reading footer offset of {path} got Is a directory (os error 21)"},
    // Refused as soon as opened: the open of a FIFO without a writer must not block.
    PathCase{"fifo_without_writer",
             [](const TempDir& dir) {
               const std::string path = dir.path_of("fifo");
               if (::mkfifo(path.c_str(), 0600) != 0) ADD_FAILURE() << "mkfifo " << path;
               return path;
             },
             NOT_REGULAR, NOT_REGULAR},
    PathCase{"character_device", [](const TempDir&) { return std::string("/dev/null"); }, NOT_REGULAR, NOT_REGULAR},
};
#endif

std::vector<PathCase> all_paths() {
  std::vector<PathCase> paths = {
      PathCase{"missing", [](const TempDir& dir) { return dir.path_of("missing.pak"); }, NOT_FOUND, NOT_FOUND},
      PathCase{"empty", [](const TempDir&) { return std::string(); }, NOT_FOUND, NOT_FOUND},
      PathCase{"nul_byte",
               [](const TempDir& dir) { return dir.write("a", sound_package()) + std::string(1, '\0') + "b"; },
               "when reading {path} got file name contained an unexpected NUL byte",
               "when reading {path} got file name contained an unexpected NUL byte"},
  };
  paths.insert(paths.end(), SYSTEM_PATHS.begin(), SYSTEM_PATHS.end());
  return paths;
}

INSTANTIATE_TEST_SUITE_P(Paths, OpenPakPath, ::testing::ValuesIn(all_paths()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quellan::raw::voka::read
