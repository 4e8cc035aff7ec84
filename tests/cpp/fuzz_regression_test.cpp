// Replays every input that once broke a fuzz target (fuzz/regressions/<target>/*)
// through the very code the target runs, so a fixed fault stays fixed in the
// normal suite, with or without sanitizers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "../../fuzz/harness/lz4_input.h"
#include "../../fuzz/harness/metadata_input.h"
#include "../../fuzz/harness/package_input.h"
#include "../../fuzz/harness/reader_passes_input.h"
#include "../../fuzz/harness/xml_differential_input.h"
#include "../../fuzz/harness/xml_reading.h"

namespace {

namespace fs = std::filesystem;

using Check = std::function<std::optional<std::string>(std::string_view)>;

const std::map<std::string, Check>& checks_by_target() {
  static const std::map<std::string, Check> checks = {
      {"lz4_differential", quellan::fuzz::compare_with_liblz4_input},
      {"lz4_forms", quellan::fuzz::compare_lz4_forms},
      {"metadata_parse", quellan::fuzz::parse_metadata_input},
      {"package", quellan::fuzz::read_package_input},
      {"reader_passes", quellan::fuzz::compare_reader_passes_input},
      {"xml_reader", quellan::fuzz::read_xml_input},
      {"xml_differential", quellan::fuzz::compare_with_expat_input},
  };
  return checks;
}

fs::path regressions_root() { return fs::path(__FILE__).parent_path() / ".." / ".." / "fuzz" / "regressions"; }

struct KeptInput {
  std::string target;
  fs::path file;
};

std::vector<KeptInput> kept_inputs() {
  std::vector<KeptInput> inputs;
  for (const auto& [target, check] : checks_by_target()) {
    const fs::path folder = regressions_root() / target;
    if (!fs::is_directory(folder)) continue;
    for (const auto& file : fs::directory_iterator(folder)) {
      if (file.is_regular_file()) inputs.push_back({target, file.path()});
    }
  }
  std::ranges::sort(inputs, {}, [](const KeptInput& input) { return input.file; });
  return inputs;
}

std::string contents_of(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// GoogleTest names allow letters, digits and underscores only.
std::string test_name_of(const testing::TestParamInfo<KeptInput>& info) {
  std::string name = info.param.target + "_" + info.param.file.filename().string();
  std::ranges::replace_if(name, [](unsigned char c) { return !std::isalnum(c); }, '_');
  return name;
}

class FuzzRegression : public testing::TestWithParam<KeptInput> {};

TEST_P(FuzzRegression, ReplaysWithoutBrokenPromise) {
  const KeptInput& input = GetParam();
  EXPECT_EQ(checks_by_target().at(input.target)(contents_of(input.file)), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Kept, FuzzRegression, testing::ValuesIn(kept_inputs()), test_name_of);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(FuzzRegression);

// A kept input in a folder that names no target would never be replayed.
TEST(FuzzRegressions, EveryFolderNamesATarget) {
  if (!fs::is_directory(regressions_root())) GTEST_SKIP() << "no input has been kept yet";
  for (const auto& folder : fs::directory_iterator(regressions_root())) {
    if (!folder.is_directory()) continue;
    EXPECT_TRUE(checks_by_target().contains(folder.path().filename().string())) << folder.path();
  }
}

}  // namespace
