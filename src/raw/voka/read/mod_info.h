#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "error/error.h"
#include "tarn/pak/metadata.h"

namespace quellan::raw::voka::read {

/// Every module description of the package at `path`, in table order: each
/// "Mods/<folder>/meta.kvt" entry extracted and parsed in turn. The header is not
/// verified. The first failure ends the call; no description is an empty list.
/// A table that does not decode fails before anything its records could cause.
/// `records` says whether the descriptions keep their dependency records. The
/// entries extracted may total MAX_EXTRACTED_PER_CALL bytes, each counted as at
/// least MIN_EXTRACTION_COST; the entry that would take them past it fails as
/// one past its own limit.
[[nodiscard]] error::Result<std::vector<tarn::pak::Metadata>> get_mod_info_from_pak(
    std::string path, tarn::pak::DependencyRecords records = tarn::pak::DependencyRecords::keep);

/// The first description of a package and how many it holds.
struct FirstModInfo {
  std::optional<tarn::pak::Metadata> first;
  std::size_t count = 0;
};

/// What `get_mod_info_from_pak` finds, with the same answers and failures, but
/// keeping the first description alone: for callers that want exactly one, a
/// package of many descriptions then costs no more memory than one of one. The
/// later descriptions are only checked, their texts never copied.
[[nodiscard]] error::Result<FirstModInfo> get_first_mod_info_from_pak(
    std::string path, tarn::pak::DependencyRecords records = tarn::pak::DependencyRecords::keep);

}  // namespace quellan::raw::voka::read
