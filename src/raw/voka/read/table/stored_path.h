#pragma once

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

/// Reads `path` by the module rules.
StoredPath classify_stored_path(std::string_view path);

/// Whether a path starting with `first_byte` can be a description or content:
/// most paths of a large package are ruled out here, before their end is found.
constexpr bool may_be_module_path(char first_byte) {
  return first_byte == MODS_FOLDER.front() || first_byte == PUBLIC_FOLDER.front();
}

/// Whether a stored path names a module description: "Mods/" + folder +
/// "/meta.kvt" with no "/" in the folder.
inline bool is_meta_entry_name(std::string_view name) {
  // Most names are ruled out by their end before their folder is looked for.
  return name.ends_with(DESCRIPTION_FILE) && classify_stored_path(name).kind == StoredPath::Kind::description;
}

}  // namespace quellan::raw::voka::read::table
