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

/// What a stored path is to the module rules, told without knowing the module
/// (`NameInRecord::classify`): the one reading of a path from which both the
/// test of a path against a module's folder and the test for a description
/// follow. Paths are compared
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

}  // namespace quellan::raw::voka::read::table
