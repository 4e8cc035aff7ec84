#include "call_floor.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

#include "common/little_endian.h"
#include "raw/voka/entry_details.h"
#include "raw/voka/read/mod_info.h"
#include "raw/voka/read/override.h"
#include "raw/voka/read/package_reader.h"
#include "table_floor.h"

namespace quellan::bench {

namespace {

constexpr std::string_view MODS = "Mods/", PUBLIC = "Public/", DESCRIPTION = "meta.kvt",
                           MATERIAL_GROUPS = "Public/Engine/Timeline/MaterialGroups/";

// Inlined in both walks, as it was in the one it was first written for.
[[gnu::always_inline]] inline bool is_description_name(std::string_view name) {
  constexpr std::string_view SUFFIX = "/meta.kvt";
  if (name.size() < MODS.size() + SUFFIX.size() || !name.starts_with(MODS) || !name.ends_with(SUFFIX)) return false;
  return name.substr(MODS.size(), name.size() - MODS.size() - SUFFIX.size()).find('/') == std::string_view::npos;
}

// The first record whose name is a description's, or null. Names that do not
// begin with "Mods/" are passed on their first bytes.
const char* first_description(const char* records, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const char* record = records + i * FLOOR_RECORD_SIZE;
    if (std::string_view(record, MODS.size()) == MODS && is_description_name(floor_record_name(record))) return record;
  }
  return nullptr;
}

// Whether `path` is content of the module in `folder`: below "Mods/<folder>/"
// but its description, below "Public/<folder>/", or below the material groups
// folder, with something after the "/" in each case.
bool is_module_path(std::string_view path, std::string_view folder) {
  const bool mods = path.starts_with(MODS);
  if (!mods && !path.starts_with(PUBLIC)) return false;
  if (path.starts_with(MATERIAL_GROUPS) && path.size() > MATERIAL_GROUPS.size()) return true;
  path.remove_prefix(mods ? MODS.size() : PUBLIC.size());
  const std::size_t slash = path.find('/');
  if (slash == std::string_view::npos) return false;
  const std::string_view rest = path.substr(slash + 1);
  return path.substr(0, slash) == folder && !rest.empty() && !(mods && rest == DESCRIPTION);
}

raw::voka::EntryDetails entry_of(const char* record, std::string_view name) {
  using common::load_little_endian;
  return {std::string(name),
          load_little_endian<std::uint32_t>(record + 256) +
              (std::uint64_t{load_little_endian<std::uint16_t>(record + 260)} << 32),
          load_little_endian<std::uint32_t>(record + 264), load_little_endian<std::uint32_t>(record + 268),
          static_cast<raw::voka::CompressionKind>(record[263] & 0x0F)};
}

// The entry of `record`, extracted by the library, its cost spent from `allowance`.
auto extract_entry(raw::voka::read::PackageReader& reader, const char* record, raw::voka::ExtractionAllowance& allowance) {
  auto entry = entry_of(record, floor_record_name(record));
  const std::uint32_t stored = entry.size_on_disk;
  auto file = std::move(entry).decompress_file(reader, allowance);
  if (file) allowance.spend(stored, file->data.size());
  return file;
}

bool same_record(const FloorDependency& floor, const tarn::pak::ModuleShortDesc& library) {
  return floor.folder == library.folder && floor.md5 == library.md5.view() && floor.name == library.name &&
         floor.uuid == library.uuid.view() && floor.version == library.version;
}

bool same_record(const FloorRecord& floor, const tarn::pak::ModuleInfo& library) {
  return floor.author == library.author &&
         floor.character_creation_level_name == library.character_creation_level_name &&
         floor.description == library.description && floor.folder == library.folder &&
         floor.gm_template == library.gm_template && floor.lobby_level_name == library.lobby_level_name &&
         floor.md5 == library.md5.view() && floor.main_menu_background_video == library.main_menu_background_video &&
         floor.menu_level_name == library.menu_level_name && floor.name == library.name &&
         floor.photo_booth == library.photo_booth && floor.startup_level_name == library.startup_level_name &&
         floor.tags == library.tags && floor.module_type == library.module_type &&
         floor.uuid == library.uuid.view() && floor.publish_handle == library.publish_handle &&
         floor.version == library.version && floor.num_players == library.num_players;
}

bool same_description(const FloorDescription& floor, const tarn::pak::Metadata& library) {
  if (floor.dependencies.size() != library.dependencies.size()) return false;
  for (std::size_t i = 0; i < floor.dependencies.size(); ++i)
    if (!same_record(floor.dependencies[i], library.dependencies[i])) return false;
  return same_record(floor.module_info, library.module_info);
}

}  // namespace

std::optional<std::vector<FloorDescription>> read_call_floor(const std::string& path) {
  const auto records = read_table_floor(path);
  if (!records) return std::nullopt;
  auto reader = raw::voka::read::PackageReader::open(path);
  if (!reader) return std::nullopt;
  raw::voka::ExtractionAllowance allowance;
  std::vector<FloorDescription> descriptions;
  const std::size_t count = records->view().size() / FLOOR_RECORD_SIZE;
  for (std::size_t i = 0; i < count; ++i) {
    const char* record = records->data() + i * FLOOR_RECORD_SIZE;
    if (!is_description_name(floor_record_name(record))) continue;
    auto file = extract_entry(*reader, record, allowance);
    if (!file) return std::nullopt;
    auto description = read_description_floor(file->data.view());
    if (!description) return std::nullopt;
    descriptions.push_back(std::move(*description));
  }
  return descriptions;
}

std::optional<bool> read_override_floor(const std::string& path) {
  const auto records = read_table_floor(path);
  if (!records) return std::nullopt;
  const std::size_t count = records->view().size() / FLOOR_RECORD_SIZE;
  const char* description_record = first_description(records->data(), count);
  if (description_record == nullptr) return true;
  auto reader = raw::voka::read::PackageReader::open(path);
  if (!reader) return std::nullopt;
  raw::voka::ExtractionAllowance allowance;
  const auto file = extract_entry(*reader, description_record, allowance);
  if (!file) return std::nullopt;
  // A description that does not read names no module: nothing is its content.
  const auto description = read_description_floor(file->data.view());
  if (!description) return true;
  for (std::size_t i = 0; i < count; ++i) {
    if (is_module_path(floor_record_name(records->data() + i * FLOOR_RECORD_SIZE), description->module_info.folder)) {
      return false;
    }
  }
  return true;
}

bool call_floor_agrees(const std::string& path) {
  const auto floor = read_call_floor(path);
  const auto library = raw::voka::read::get_mod_info_from_pak(path);
  if (!floor || !library) return !floor && !library;
  if (floor->size() != library->size()) return false;
  for (std::size_t i = 0; i < floor->size(); ++i)
    if (!same_description((*floor)[i], (*library)[i])) return false;
  return true;
}

bool override_floor_agrees(const std::string& path) {
  const auto floor = read_override_floor(path);
  const auto library = raw::voka::read::is_override(path);
  if (!floor || !library) return !floor && !library;
  return *floor == *library;
}

}  // namespace quellan::bench
