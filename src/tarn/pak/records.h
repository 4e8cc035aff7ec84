#pragma once

#include <cstdint>
#include <string>

#include "tarn/pak/inline_text.h"

namespace quellan::tarn::pak {

/// The description of a module, read from the "ModuleInfo" node of a "meta.kvt"
/// document. Fields the document does not give stay empty or zero. UUIDs and
/// MD5s, which have a size of their own, are kept in place.
struct ModuleInfo {
  std::string author;                          // "Author"
  std::string character_creation_level_name;   // "CharacterCreationLevelName"
  std::string description;                     // "Description"
  std::string folder;                          // "Folder"
  std::string gm_template;                     // "GMTemplate"
  std::string lobby_level_name;                // "LobbyLevelName"
  InlineText md5;                              // "MD5"
  std::string main_menu_background_video;      // "MainMenuBackgroundVideo"
  std::string menu_level_name;                 // "MenuLevelName"
  std::string name;                            // "Name"
  std::string photo_booth;                     // "PhotoBooth"
  std::string startup_level_name;              // "StartupLevelName"
  std::string tags;                            // "Tags"
  std::string module_type;                     // "Type"
  InlineText uuid;                             // "UUID"
  std::uint64_t publish_handle = 0;            // "PublishHandle"
  std::int64_t version = 0;                    // "Version64"
  std::uint8_t num_players = 0;                // "NumPlayers"
};

/// One module that a module depends on, read from a "ModuleShortDesc" node.
struct ModuleShortDesc {
  std::string folder;        // "Folder"
  InlineText md5;            // "MD5"
  std::string name;          // "Name"
  InlineText uuid;           // "UUID"
  std::int64_t version = 0;  // "Version64"
};

}  // namespace quellan::tarn::pak
