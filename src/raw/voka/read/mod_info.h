#pragma once

#include <string>
#include <vector>

#include "error/error.h"
#include "tarn/pak/metadata.h"

namespace quellan::raw::voka::read {

/// Every module description of the package at `path`, in table order: each
/// "Mods/<folder>/meta.kvt" entry extracted and parsed in turn. The header is not
/// verified. The first failure ends the call; no description is an empty list.
/// `records` says whether the descriptions keep their dependency records. The
/// entries extracted may total MAX_EXTRACTED_PER_CALL bytes; the entry that
/// would take them past it fails as one past its own limit.
[[nodiscard]] error::Result<std::vector<tarn::pak::Metadata>> get_mod_info_from_pak(
    std::string path, tarn::pak::DependencyRecords records = tarn::pak::DependencyRecords::keep);

}  // namespace quellan::raw::voka::read
