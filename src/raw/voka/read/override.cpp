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

struct FolderAndRest {
  std::string_view folder;
  std::string_view rest;
};

// Splits "<top><folder>/<rest>" into folder and rest; nothing when `path` does
// not start with `top` or has no "/" after the folder.
std::optional<FolderAndRest> split_below(std::string_view path, std::string_view top) {
  if (!path.starts_with(top)) return std::nullopt;
  path.remove_prefix(top.size());
  const std::size_t slash = path.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  return FolderAndRest{path.substr(0, slash), path.substr(slash + 1)};
}

// Whether any stored path of `table` is content of the module in `folder`.
bool has_module_content(const table::Table& table, std::string_view folder) {
  for (std::string_view path : table.paths()) {
    if (!is_override_package_path(path, folder)) return true;
  }
  return false;
}

}  // namespace

bool is_override_package_path(std::string_view path, std::string_view folder) noexcept {
  if (path.empty()) return true;
  if (auto below = split_below(path, MODS_FOLDER); below && below->folder == folder && !below->rest.empty()) {
    // The description lies beside the module's files but is not content itself.
    return below->rest == DESCRIPTION_FILE;
  }
  if (auto below = split_below(path, PUBLIC_FOLDER); below && below->folder == folder && !below->rest.empty()) {
    return false;
  }
  if (path.starts_with(SHARED_CONTENT_FOLDER) && path.size() > SHARED_CONTENT_FOLDER.size()) return false;
  return true;
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
  auto file = std::move(*entry).decompress_file(*reader);
  if (!file) return std::unexpected(std::move(file.error()));
  // A description that cannot be parsed names no module, so nothing is its content.
  auto metadata = tarn::pak::Metadata::parse(file->data.view());
  if (!metadata) return true;
  return !has_module_content(*table, metadata->module_info.folder);
}

}  // namespace quellan::raw::voka::read
