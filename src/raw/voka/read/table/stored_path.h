#pragma once

#include <cstddef>
#include <string_view>

namespace quellan::raw::voka::read::table {

/// The top folders under which a module's description and content lie.
inline constexpr std::string_view MODS_FOLDER = "Mods/";
inline constexpr std::string_view PUBLIC_FOLDER = "Public/";
/// The name of a module's description, beside its files below "Mods/<folder>/".
inline constexpr std::string_view DESCRIPTION_FILE = "meta.kvt";
/// Below "Public/": content of every module, whatever its folder.
inline constexpr std::string_view SHARED_CONTENT_FOLDER = "Engine/Timeline/MaterialGroups/";

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

/// Reads a path by the module rules. `Path` gives the few looks at its bytes
/// that the rules take, so that a path held in a view and a name read in place
/// from a table record follow the same rules:
///   starts_with(prefix)     the path begins with `prefix`
///   holds_at(at, bytes)     the path goes on with `bytes` at `at` (at most its size)
///   ends_at(at)             the path has exactly `at` bytes (at most its size)
///   find_slash(from)        the first "/" at or after `from`, or npos
///   segment(from, end)      the bytes from `from` up to `end`
/// Defined here, where the walks over the table inline it: it runs for most
/// records of a large package.
template <class Path>
inline StoredPath classify_path(const Path& path) {
  const bool below_mods = path.starts_with(MODS_FOLDER);
  if (!below_mods && !path.starts_with(PUBLIC_FOLDER)) return {};
  const std::size_t folder_at = below_mods ? MODS_FOLDER.size() : PUBLIC_FOLDER.size();
  if (!below_mods && path.holds_at(folder_at, SHARED_CONTENT_FOLDER) &&
      !path.ends_at(folder_at + SHARED_CONTENT_FOLDER.size())) {
    return {StoredPath::Kind::shared_content, {}};
  }
  const std::size_t end = path.find_slash(folder_at);
  if (end == std::string_view::npos) return {};
  const std::size_t rest = end + 1;
  // A folder named with nothing below it is nobody's content.
  if (path.ends_at(rest)) return {};
  const std::string_view folder = path.segment(folder_at, end);
  if (below_mods && path.holds_at(rest, DESCRIPTION_FILE) && path.ends_at(rest + DESCRIPTION_FILE.size())) {
    return {StoredPath::Kind::description, folder};
  }
  return {StoredPath::Kind::content, folder};
}

/// A path whose bytes are exactly those of a view.
class PathInView {
 public:
  explicit PathInView(std::string_view path) : path_(path) {}

  bool starts_with(std::string_view prefix) const { return path_.starts_with(prefix); }
  bool holds_at(std::size_t at, std::string_view bytes) const { return path_.substr(at).starts_with(bytes); }
  bool ends_at(std::size_t at) const { return at == path_.size(); }
  std::size_t find_slash(std::size_t from) const { return path_.find('/', from); }
  std::string_view segment(std::size_t from, std::size_t end) const { return path_.substr(from, end - from); }

 private:
  std::string_view path_;
};

/// Reads `path` by the module rules.
inline StoredPath classify_stored_path(std::string_view path) {
  return classify_path(PathInView(path));
}

}  // namespace quellan::raw::voka::read::table
