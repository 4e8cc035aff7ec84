#pragma once

#include <string>
#include <string_view>

#include "error/error.h"

namespace quellan::raw::voka::read {

/// Whether `path`, a stored path (at most 256 bytes, none of them zero) compared
/// byte for byte, lies outside the own content of the module whose folder is
/// `folder`: true for an override path, false for module content (below
/// "Mods/<folder>/" except its "meta.kvt", below "Public/<folder>/", below
/// "Public/Engine/Timeline/MaterialGroups/").
bool is_override_package_path(std::string_view path, std::string_view folder) noexcept;

/// Whether the package at `path` overrides game data rather than adding a module:
/// true unless some stored path is content of the module that its first
/// description names. A package without a readable description is an override
/// package; a package that cannot be read, or is not a supported package, fails.
error::Result<bool> is_override(std::string path);

}  // namespace quellan::raw::voka::read
