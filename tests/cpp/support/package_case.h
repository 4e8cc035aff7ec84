#pragma once

#include <gtest/gtest.h>

#include <string>

#include "support/package_writer.h"

namespace quellan::test_support {

/// One row of a package suite: the package `build` makes, and what the call
/// under test gives for it (its answer, or its error's message).
struct PackageCase {
  const char* name;
  void (*build)(PackageWriter&);
  std::string expected;
};

/// Names each row of a package suite by its `name`.
inline std::string package_case_name(const ::testing::TestParamInfo<PackageCase>& info) { return info.param.name; }

}  // namespace quellan::test_support
