#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "description_floor.h"

namespace quellan::bench {

/// Which descriptions a call reads: every one, as get_mod_info_from_pak does, or
/// the first, as is_override does.
enum class FloorDescriptions { all, first };

/// The least work of a whole call on the package at `path`: the table floor
/// (see table_floor.h), the library's own extraction of the description entries,
/// and the description floor on each. Nothing when any step does not read.
std::optional<std::vector<FloorDescription>> read_call_floor(const std::string& path, FloorDescriptions which);

/// Whether the floor gives what the library gives on the package at `path`: the
/// same descriptions, field for field, or a failure for both. A floor that
/// disagrees measures something else and is not to be reported.
bool call_floor_agrees(const std::string& path);

}  // namespace quellan::bench
