#include "raw/voka/read/table/stored_path.h"

namespace quellan::raw::voka::read::table {

namespace {

// Below "Public/": content of every module, whatever its folder.
constexpr std::string_view SHARED_CONTENT_FOLDER = "Engine/Timeline/MaterialGroups/";

// Whether `path`, below "Public/", lies below the shared folder. Its last "/"
// rules out most paths before they are compared whole.
bool is_shared_content(std::string_view path) {
  const std::size_t size = SHARED_CONTENT_FOLDER.size();
  return path.size() > size && path[size - 1] == '/' && path.starts_with(SHARED_CONTENT_FOLDER);
}

}  // namespace

StoredPath classify_stored_path(std::string_view path) {
  const bool below_mods = path.starts_with(MODS_FOLDER);
  if (!below_mods && !path.starts_with(PUBLIC_FOLDER)) return {};
  path.remove_prefix(below_mods ? MODS_FOLDER.size() : PUBLIC_FOLDER.size());
  if (!below_mods && is_shared_content(path)) return {StoredPath::Kind::shared_content, {}};
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
