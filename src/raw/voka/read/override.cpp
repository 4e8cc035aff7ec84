#include "raw/voka/read/override.h"

#include <optional>

#include "raw/voka/read/open_pak.h"
#include "raw/voka/read/table/table.h"
#include "tarn/pak/metadata.h"

namespace quellan::raw::voka::read {

namespace {

constexpr std::string_view MODS_FOLDER = "Mods/";
constexpr std::string_view PUBLIC_FOLDER = "Public/";
constexpr std::string_view SHARED_CONTENT_FOLDER = "Public/Engine/Timeline/MaterialGroups/";
constexpr std::string_view DESCRIPTION_FILE = "meta.kvt";

// What follows "<top><folder>/" in `path`, when `folder` is the whole segment
// after `top`; nothing otherwise. Byte comparisons only: no search for the end
// of the segment, since the byte after `folder` must be that end.
std::optional<std::string_view> rest_below(std::string_view path, std::string_view top, std::string_view folder) {
  if (!path.starts_with(top)) return std::nullopt;
  path.remove_prefix(top.size());
  if (path.size() <= folder.size() || path[folder.size()] != '/' || !path.starts_with(folder)) return std::nullopt;
  // A "/" inside `folder` would end the segment before it, so it never matches.
  if (folder.find('/') != std::string_view::npos) return std::nullopt;
  return path.substr(folder.size() + 1);
}

// Whether any stored path of `table` is content of the module in `folder`. Only
// paths under "Mods/" or "Public/" can be, so most names of a large override
// package are ruled out by their first byte, before their end is looked for.
bool has_module_content(const table::Table& table, std::string_view folder) {
  for (std::size_t offset : table.record_offsets()) {
    const char first = table.first_name_byte_at(offset);
    if (first != MODS_FOLDER.front() && first != PUBLIC_FOLDER.front()) continue;
    if (!is_override_package_path(table.path_at(offset), folder)) return true;
  }
  return false;
}

}  // namespace

bool is_override_package_path(std::string_view path, std::string_view folder) noexcept {
  if (path.empty()) return true;
  if (auto rest = rest_below(path, MODS_FOLDER, folder); rest && !rest->empty()) {
    // The description lies beside the module's files but is not content itself.
    return *rest == DESCRIPTION_FILE;
  }
  if (!path.starts_with(PUBLIC_FOLDER)) return true;
  if (auto rest = rest_below(path, PUBLIC_FOLDER, folder); rest && !rest->empty()) return false;
  return !(path.starts_with(SHARED_CONTENT_FOLDER) && path.size() > SHARED_CONTENT_FOLDER.size());
}

error::Result<bool> is_override(std::string path) {
  auto reader = open_pak_validating_header(path);
  if (!reader) return std::unexpected(std::move(reader.error()));
  auto table = table::Table::read_from(*reader);
  if (!table) return std::unexpected(std::move(table.error()));

  // Only the first description is read; later ones are never decoded.
  auto descriptions = table->meta_entries();
  auto first = descriptions.begin();
  if (first == descriptions.end()) return true;
  auto entry = *first;
  if (!entry) return std::unexpected(std::move(entry.error()));
  auto file = std::move(*entry).decompress_file(*reader, ExtractionAllowance{});
  if (!file) return std::unexpected(std::move(file.error()));
  // A description that cannot be parsed names no module, so nothing is its content.
  auto metadata =
      tarn::pak::Metadata::parse(file->data, tarn::pak::DependencyRecords::drop);
  if (!metadata) return true;
  return !has_module_content(*table, metadata->module_info.folder);
}

}  // namespace quellan::raw::voka::read
