#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "common/byte_buffer.h"

namespace quellan::bench {

/// The least work any reader of the package at `path` must do to look at every
/// stored path: read the header and the compressed table with plain `pread`
/// calls into a buffer of its final size, decompress the table into another
/// (both made as the library makes them), and find the end of every name once,
/// counting those below "Mods/". No checks beyond what keeps this code itself
/// safe: it only sets the floor that the library is measured against.
/// Returns the count, or 0 when the package cannot be read this way.
std::size_t scan_table_floor(const std::string& path);

/// Each record of a package's table takes this many bytes.
inline constexpr std::size_t FLOOR_RECORD_SIZE = 272;

/// The table's records as `scan_table_floor` reads them, or nothing when the
/// package cannot be read this way.
std::optional<common::ByteBuffer> read_table_floor(const std::string& path);

/// The stored path of the record at `record`, found as `scan_table_floor` finds it.
std::string_view floor_record_name(const char* record);

}  // namespace quellan::bench
