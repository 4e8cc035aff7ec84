#include "raw/voka/read/table/stored_path.h"

namespace quellan::raw::voka::read::table {

namespace {

// Below "Public/": content of every module, whatever its folder.
constexpr std::string_view SHARED_CONTENT_FOLDER = "Engine/Timeline/MaterialGroups/";
// Beside a module's files below "Mods/<folder>/".
constexpr std::string_view DESCRIPTION_FILE = "meta.kvt";

}  // namespace

StoredPath classify_stored_path(std::string_view path) {
  const bool below_mods = path.starts_with(MODS_FOLDER);
  if (!below_mods && !path.starts_with(PUBLIC_FOLDER)) return {};
  path.remove_prefix(below_mods ? MODS_FOLDER.size() : PUBLIC_FOLDER.size());
  if (!below_mods && path.starts_with(SHARED_CONTENT_FOLDER) && path.size() > SHARED_CONTENT_FOLDER.size()) {
    return {StoredPath::Kind::shared_content, {}};
  }
  const std::size_t end = path.find('/');
  if (end == std::string_view::npos) return {};
  const std::string_view folder = path.substr(0, end);
  const std::string_view rest = path.substr(end + 1);
  // A folder named with nothing below it is nobody's content.
  if (rest.empty()) return {};
  if (below_mods && rest == DESCRIPTION_FILE) return {StoredPath::Kind::description, folder};
  return {StoredPath::Kind::content, folder};
}

}  // namespace quellan::raw::voka::read::table
