#pragma once

#include <cstddef>
#include <string>

namespace quellan::bench {

/// The least work any reader of the package at `path` must do to look at every
/// stored path: read the header and the compressed table with plain system
/// calls, decompress the table into a buffer of its final size, and find the end
/// of every name, counting those below "Mods/". No checks beyond what keeps this
/// code itself safe; it only sets the floor the library is measured against.
/// Returns the count, or 0 when the package cannot be read this way.
std::size_t scan_table_floor(const std::string& path);

}  // namespace quellan::bench
