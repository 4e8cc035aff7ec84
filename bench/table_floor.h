#pragma once

#include <cstddef>
#include <string>

namespace quellan::bench {

/// The least work any reader of the package at `path` must do to look at every
/// stored path: read the header and the compressed table with plain `pread`
/// calls into a buffer of its final size, decompress the table into another
/// (both made as the library makes them), and find the end of every name once,
/// counting those below "Mods/". No checks beyond what keeps this code itself
/// safe: it only sets the floor that the library is measured against.
/// Returns the count, or 0 when the package cannot be read this way.
std::size_t scan_table_floor(const std::string& path);

}  // namespace quellan::bench
