#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quellan::bench {

/// The fields of a module's own description, by the attribute ids the library reads.
struct FloorRecord {
  std::string author, character_creation_level_name, description, folder, gm_template, lobby_level_name, md5,
      main_menu_background_video, menu_level_name, name, photo_booth, startup_level_name, tags, module_type, uuid;
  std::uint64_t publish_handle = 0;
  std::int64_t version = 0;
  std::uint8_t num_players = 0;
};

/// The fields of one dependency.
struct FloorDependency {
  std::string folder, md5, name, uuid;
  std::int64_t version = 0;
};

struct FloorDescription {
  std::vector<FloorDependency> dependencies;
  FloorRecord module_info;
};

/// The least work that reading a description takes, written plainly by hand as a
/// yardstick for `Metadata::parse`: one pass over the document that checks what
/// the description rules make a reader check (tag structure, end tags against the
/// open elements, references in text, attribute lists of the tags that are read,
/// repeated keys, UTF-8 and references of the values taken) and fills the
/// records. It gives no reasons: empty when the document does not read.
std::optional<FloorDescription> read_description_floor(std::string_view document);

}  // namespace quellan::bench
