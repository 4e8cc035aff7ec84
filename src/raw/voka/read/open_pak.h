#pragma once

#include <string>

#include "error/error.h"
#include "raw/voka/read/package_reader.h"

namespace quellan::raw::voka::read {

/// Opens the package at `path`, checks its magic and version, and returns the
/// reader positioned at the file table.
error::Result<PackageReader> open_pak_validating_header(const std::string& path);

/// Opens the package at `path` and returns the reader positioned at the file
/// table, passing over the magic and the version without reading them.
error::Result<PackageReader> open_pak_skipping_header(const std::string& path);

}  // namespace quellan::raw::voka::read
