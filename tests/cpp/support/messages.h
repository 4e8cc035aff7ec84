#pragma once

#include <string>

namespace quellan::test_support {

/// The messages of the metadata failures that several suites expect, written once.

inline const std::string NO_MODULE_INFO =
    "no node found with XPath /save/region[@id='Config']/node[@id='root']/children/node[@id='ModuleInfo']";

/// The message of a schema mismatch with `cause`.
inline std::string schema_mismatch(const std::string& cause) {
  return "meta.kvt in the VOKA file didn't match expected schema due to " + cause;
}

inline const std::string MODULE_INFO_FAILS = schema_mismatch("failed to parse ModuleInfo node");
inline const std::string SHORT_DESC_FAILS = schema_mismatch("failed to parse ModuleShortDesc node");

}  // namespace quellan::test_support
