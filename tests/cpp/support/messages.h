#pragma once

#include <cstdint>
#include <string>

namespace quellan::test_support {

/// The messages that several suites expect, written once.

inline const std::string NO_MODULE_INFO =
    "no node found with XPath /save/region[@id='Config']/node[@id='root']/children/node[@id='ModuleInfo']";

/// The message of a schema mismatch with `cause`.
inline std::string schema_mismatch(const std::string& cause) {
  return "meta.kvt in the VOKA file didn't match expected schema due to " + cause;
}

inline const std::string MODULE_INFO_FAILS = schema_mismatch("failed to parse ModuleInfo node");
inline const std::string SHORT_DESC_FAILS = schema_mismatch("failed to parse ModuleShortDesc node");

inline const std::string ZSTD_UNSUPPORTED = "zstd-compressed data in .pak not currently supported";

/// The message of a file table whose block does not decode, for `cause`.
inline std::string table_fails(const std::string& cause) { return "tried to decompress path of table but got " + cause; }

/// The message of a file table whose block decodes to `produced` bytes of the `declared`.
inline std::string short_table(std::uint64_t produced, std::uint64_t declared) {
  return table_fails("the block decompressed to " + std::to_string(produced) + " bytes but " +
                     std::to_string(declared) + " were declared");
}

/// The message of the entry `name` whose flags name the unknown compression `kind`.
inline std::string unknown_compression(int kind, const std::string& name) {
  return "unknown compression type specified with " + std::to_string(kind) + " found when .pak compression flags for " +
         name;
}

}  // namespace quellan::test_support
