#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "tarn/pak/records.h"

namespace quellan::tarn::pak::schema {

// The words of a description document, each written here once: both the
// one-pass readers of plain tags and the general route spell them from here.
//
//   <node id="ModuleInfo">                    a node that describes a record
//     <attribute id="Name" value="…"/>        one field of it
//   </node>

/// The element of nodes. Kept as arrays, so that a pass knows their sizes.
inline constexpr char NODE[] = "node";
/// The element of fields.
inline constexpr char FIELD[] = "attribute";
/// The key that names a node's record and a field.
inline constexpr char ID[] = "id";
/// The key of a field's value.
inline constexpr char VALUE[] = "value";

/// The `id` of the nodes that each record is read from.
template <class Record>
inline constexpr std::string_view NODE_ID = {};
template <>
inline constexpr std::string_view NODE_ID<ModuleInfo> = "ModuleInfo";
template <>
inline constexpr std::string_view NODE_ID<ModuleShortDesc> = "ModuleShortDesc";

/// A field of `Record`; its type decides how the value is read.
template <class Record>
using FieldMember = std::variant<std::string Record::*, InlineText Record::*, std::uint64_t Record::*,
                                 std::int64_t Record::*, std::uint8_t Record::*>;

template <class Record>
struct Field {
  std::string_view id;
  FieldMember<Record> member;
};

inline constexpr std::array<Field<ModuleInfo>, 18> MODULE_INFO_FIELDS{{
    {"Author", &ModuleInfo::author},
    {"CharacterCreationLevelName", &ModuleInfo::character_creation_level_name},
    {"Description", &ModuleInfo::description},
    {"Folder", &ModuleInfo::folder},
    {"GMTemplate", &ModuleInfo::gm_template},
    {"LobbyLevelName", &ModuleInfo::lobby_level_name},
    {"MD5", &ModuleInfo::md5},
    {"MainMenuBackgroundVideo", &ModuleInfo::main_menu_background_video},
    {"MenuLevelName", &ModuleInfo::menu_level_name},
    {"Name", &ModuleInfo::name},
    {"PhotoBooth", &ModuleInfo::photo_booth},
    {"StartupLevelName", &ModuleInfo::startup_level_name},
    {"Tags", &ModuleInfo::tags},
    {"Type", &ModuleInfo::module_type},
    {"UUID", &ModuleInfo::uuid},
    {"PublishHandle", &ModuleInfo::publish_handle},
    {"Version64", &ModuleInfo::version},
    {"NumPlayers", &ModuleInfo::num_players},
}};

inline constexpr std::array<Field<ModuleShortDesc>, 5> MODULE_SHORT_DESC_FIELDS{{
    {"Folder", &ModuleShortDesc::folder},
    {"MD5", &ModuleShortDesc::md5},
    {"Name", &ModuleShortDesc::name},
    {"UUID", &ModuleShortDesc::uuid},
    {"Version64", &ModuleShortDesc::version},
}};

}  // namespace quellan::tarn::pak::schema
