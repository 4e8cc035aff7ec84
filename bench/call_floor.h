#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "description_floor.h"

namespace quellan::bench {

/// The least work of get_mod_info_from_pak on the package at `path`: the table
/// floor (see table_floor.h), the library's own extraction of the description
/// entries, and the description floor on each. Nothing when any step does not read.
std::optional<std::vector<FloorDescription>> read_call_floor(const std::string& path);

/// The least work of the override test on the package at `path`: the table
/// floor, the first description extracted and read as `read_call_floor` reads
/// each, then every
/// stored path classified against its folder by the rules as they are written,
/// up to the first that is module content. True for an override package;
/// nothing when a step that fails the test does not read.
std::optional<bool> read_override_floor(const std::string& path);

/// Whether the floor gives what the library gives on the package at `path`: the
/// same descriptions, field for field, or a failure for both. A floor that
/// disagrees measures something else and is not to be reported.
bool call_floor_agrees(const std::string& path);

/// Whether the override floor gives the library's answer on the package at
/// `path`, or fails where the library does.
bool override_floor_agrees(const std::string& path);

}  // namespace quellan::bench
