#pragma once

#include <cstddef>
#include <string_view>

namespace quellan::raw::voka::read::table {

/// The top folders under which a module's description and content lie.
inline constexpr std::string_view MODS_FOLDER = "Mods/";
inline constexpr std::string_view PUBLIC_FOLDER = "Public/";
/// The name of a module's description, beside its files below "Mods/<folder>/".
inline constexpr std::string_view DESCRIPTION_FILE = "meta.kvt";

/// What a stored path is to the module rules, told without knowing the module:
/// the one reading of a path from which both the test of a path against a
/// module's folder and the test for a description follow. Paths are compared
/// byte for byte; a folder is one segment, so it never holds "/".
struct StoredPath {
  enum class Kind {
    other,           // no module's content and no description
    description,     // "Mods/<folder>/meta.kvt": the module's description, not its content
    content,         // below "Mods/<folder>/" or "Public/<folder>/": content of that module
    shared_content,  // below the folder every module shares: content of any module
  };
  Kind kind = Kind::other;
  std::string_view folder;  // for a description or content: the segment after the top folder

  /// Whether the path is content of the module whose folder is `module_folder`.
  bool is_content_of(std::string_view module_folder) const {
    return kind == Kind::shared_content || (kind == Kind::content && folder == module_folder);
  }
};

namespace stored_path_detail {

/// Below "Public/": content of every module, whatever its folder.
inline constexpr std::string_view SHARED_CONTENT_FOLDER = "Engine/Timeline/MaterialGroups/";

/// Whether `path`, below "Public/", lies below the shared folder. Its last "/"
/// rules out most paths before they are compared whole.
inline bool is_shared_content(std::string_view path) {
  const std::size_t size = SHARED_CONTENT_FOLDER.size();
  return path.size() > size && path[size - 1] == '/' && path.starts_with(SHARED_CONTENT_FOLDER);
}

}  // namespace stored_path_detail

/// Reads `path` by the module rules. Defined here, where the walks over the
/// table inline it: it runs for most records of a large package.
[[gnu::always_inline]] inline StoredPath classify_stored_path(std::string_view path) {
  const bool below_mods = path.starts_with(MODS_FOLDER);
  if (!below_mods && !path.starts_with(PUBLIC_FOLDER)) return {};
  path.remove_prefix(below_mods ? MODS_FOLDER.size() : PUBLIC_FOLDER.size());
  if (!below_mods && stored_path_detail::is_shared_content(path)) return {StoredPath::Kind::shared_content, {}};
  const std::size_t end = path.find('/');
  if (end == std::string_view::npos) return {};
  const std::string_view folder = path.substr(0, end);
  const std::string_view rest = path.substr(end + 1);
  // A folder named with nothing below it is nobody's content.
  if (rest.empty()) return {};
  if (below_mods && rest == DESCRIPTION_FILE) return {StoredPath::Kind::description, folder};
  return {StoredPath::Kind::content, folder};
}

/// Whether a path starting with `first_byte` can be a description or content:
/// most paths of a large package are ruled out here, before their end is found.
constexpr bool may_be_module_path(char first_byte) {
  return first_byte == MODS_FOLDER.front() || first_byte == PUBLIC_FOLDER.front();
}

/// Whether a stored path names a module description: "Mods/" + folder +
/// "/meta.kvt" with no "/" in the folder.
bool is_meta_entry_name(std::string_view name);

}  // namespace quellan::raw::voka::read::table
