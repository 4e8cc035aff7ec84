#include "tarn/pak/record_fields.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include "tarn/pak/decimal.h"
#include "tarn/pak/white_space.h"
#include "tarn/pak/xml_attributes.h"
#include "tarn/pak/xml_unescape.h"

namespace quellan::tarn::pak {

namespace {

/// A field of `Record`; its type decides how the attribute's value is read.
template <class Record>
using FieldMember = std::variant<std::string Record::*, InlineText Record::*, std::uint64_t Record::*,
                                 std::int64_t Record::*, std::uint8_t Record::*>;

template <class Record>
struct Field {
  std::string_view id;
  FieldMember<Record> member;
};

constexpr std::array<Field<ModuleInfo>, 18> MODULE_INFO_FIELDS{{
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

constexpr std::array<Field<ModuleShortDesc>, 5> MODULE_SHORT_DESC_FIELDS{{
    {"Folder", &ModuleShortDesc::folder},
    {"MD5", &ModuleShortDesc::md5},
    {"Name", &ModuleShortDesc::name},
    {"UUID", &ModuleShortDesc::uuid},
    {"Version64", &ModuleShortDesc::version},
}};

template <class Record>
bool store(Record& record, const FieldMember<Record>& member, std::string_view value) {
  return std::visit(
      [&]<class Value>(Value Record::* field) {
        if constexpr (std::is_same_v<Value, std::string> || std::is_same_v<Value, InlineText>) {
          (record.*field).assign(value);
          return true;
        } else {
          std::optional<Value> number = read_decimal<Value>(value);
          if (number) record.*field = *number;
          return number.has_value();
        }
      },
      member);
}

// The unescaped text of an attribute the element may lack: nothing when it has
// none, false when it has one that does not unescape.
bool unescape_if_present(const std::optional<XmlAttribute>& attribute, std::string& buffer,
                         std::optional<std::string_view>& text) {
  if (!attribute) return true;
  auto unescaped = unescape(*attribute, buffer);
  if (!unescaped) return false;
  text = *unescaped;
  return true;
}

// An element without `id` or `value` changes nothing, but each that it has must
// unescape.
template <class Record, std::size_t Count>
bool assign_by_table(Record& record, const IdAndValue& element, FieldBuffers& buffers,
                     const std::array<Field<Record>, Count>& fields) {
  std::optional<std::string_view> id;
  std::optional<std::string_view> value;
  if (!unescape_if_present(element.id, buffers.id, id) || !unescape_if_present(element.value, buffers.value, value)) {
    return false;
  }
  if (!id || !value) return true;
  // Most ids differ from most in their length or first byte, checked before the bytes.
  auto field = std::ranges::find_if(fields, [&](const Field<Record>& candidate) {
    return candidate.id.size() == id->size() && candidate.id.front() == id->front() && candidate.id == *id;
  });
  if (field == fields.end()) return true;
  return store(record, field->member, trim_white_space(*value));
}

}  // namespace

std::optional<IdAndValue> read_id_and_value(XmlAttributeList attributes) {
  IdAndValue found;
  XmlAttributeCursor cursor(attributes);
  for (;;) {
    auto attribute = cursor.next();
    if (!attribute) return std::nullopt;
    if (!*attribute) return found;
    if ((*attribute)->key == "id") found.id = **attribute;
    if ((*attribute)->key == "value") found.value = **attribute;
  }
}

bool assign_field(ModuleInfo& record, const IdAndValue& element, FieldBuffers& buffers) {
  return assign_by_table(record, element, buffers, MODULE_INFO_FIELDS);
}

bool assign_field(ModuleShortDesc& record, const IdAndValue& element, FieldBuffers& buffers) {
  return assign_by_table(record, element, buffers, MODULE_SHORT_DESC_FIELDS);
}

}  // namespace quellan::tarn::pak
