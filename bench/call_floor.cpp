#include "call_floor.h"

#include <cstdint>
#include <string_view>
#include <utility>

#include "common/little_endian.h"
#include "raw/voka/entry_details.h"
#include "raw/voka/read/mod_info.h"
#include "raw/voka/read/package_reader.h"
#include "table_floor.h"

namespace quellan::bench {

namespace {

bool is_description_name(std::string_view name) {
  constexpr std::string_view PREFIX = "Mods/", SUFFIX = "/meta.kvt";
  if (name.size() < PREFIX.size() + SUFFIX.size() || !name.starts_with(PREFIX) || !name.ends_with(SUFFIX)) return false;
  return name.substr(PREFIX.size(), name.size() - PREFIX.size() - SUFFIX.size()).find('/') == std::string_view::npos;
}

raw::voka::EntryDetails entry_of(const char* record, std::string_view name) {
  using common::load_little_endian;
  return {std::string(name),
          load_little_endian<std::uint32_t>(record + 256) +
              (std::uint64_t{load_little_endian<std::uint16_t>(record + 260)} << 32),
          load_little_endian<std::uint32_t>(record + 264), load_little_endian<std::uint32_t>(record + 268),
          static_cast<raw::voka::CompressionKind>(record[263] & 0x0F)};
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

std::optional<std::vector<FloorDescription>> read_call_floor(const std::string& path, FloorDescriptions which) {
  const auto records = read_table_floor(path);
  if (!records) return std::nullopt;
  auto reader = raw::voka::read::PackageReader::open(path);
  if (!reader) return std::nullopt;
  raw::voka::ExtractionAllowance allowance;
  std::vector<FloorDescription> descriptions;
  const std::size_t count = records->view().size() / FLOOR_RECORD_SIZE;
  for (std::size_t i = 0; i < count; ++i) {
    const char* record = records->data() + i * FLOOR_RECORD_SIZE;
    const std::string_view name = floor_record_name(record);
    if (!is_description_name(name) || (which == FloorDescriptions::first && !descriptions.empty())) continue;
    auto entry = entry_of(record, name);
    const std::uint32_t stored = entry.size_on_disk;
    auto file = std::move(entry).decompress_file(*reader, allowance);
    if (!file) return std::nullopt;
    allowance.spend(stored, file->data.size());
    auto description = read_description_floor(file->data.view());
    if (!description) return std::nullopt;
    descriptions.push_back(std::move(*description));
  }
  return descriptions;
}

bool call_floor_agrees(const std::string& path) {
  const auto floor = read_call_floor(path, FloorDescriptions::all);
  const auto library = raw::voka::read::get_mod_info_from_pak(path);
  if (!floor || !library) return !floor && !library;
  if (floor->size() != library->size()) return false;
  for (std::size_t i = 0; i < floor->size(); ++i)
    if (!same_description((*floor)[i], (*library)[i])) return false;
  return true;
}

}  // namespace quellan::bench
