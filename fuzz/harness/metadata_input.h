#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>

#include "common/byte_buffer.h"
#include "common/path_text.h"
#include "error/error.h"
#include "tarn/pak/metadata.h"

namespace quellan::fuzz {

namespace metadata_input_detail {

// Every text the parser hands on becomes a Python str, so it must be whole UTF-8
// (lossy conversion changes nothing then), and trimming must have left no ASCII
// white space at either end.
inline bool is_clean_text(std::string_view text) {
  constexpr std::string_view ASCII_WHITE_SPACE = " \t\n\v\f\r";
  const bool trimmed = text.empty() || (!ASCII_WHITE_SPACE.contains(text.front()) &&
                                        !ASCII_WHITE_SPACE.contains(text.back()));
  return trimmed && common::pathbuf_from_bytes(text) == text;
}

inline bool has_clean_texts(const tarn::pak::Metadata& metadata) {
  const tarn::pak::ModuleInfo& info = metadata.module_info;
  const std::array<std::string_view, 15> texts = {
      info.author, info.character_creation_level_name, info.description, info.folder,
      info.gm_template, info.lobby_level_name, info.md5, info.main_menu_background_video,
      info.menu_level_name, info.name, info.photo_booth, info.startup_level_name,
      info.tags, info.module_type, info.uuid};
  for (std::string_view text : texts) {
    if (!is_clean_text(text)) return false;
  }
  for (const tarn::pak::ModuleShortDesc& dependency : metadata.dependencies) {
    for (std::string_view text : {std::string_view(dependency.folder), dependency.md5.view(), std::string_view(dependency.name),
                                  dependency.uuid.view()}) {
      if (!is_clean_text(text)) return false;
    }
  }
  return true;
}

inline bool same_module_info(const tarn::pak::ModuleInfo& a, const tarn::pak::ModuleInfo& b) {
  auto fields = [](const tarn::pak::ModuleInfo& m) {
    return std::tie(m.author, m.character_creation_level_name, m.description, m.folder,
                    m.gm_template, m.lobby_level_name, m.md5, m.main_menu_background_video,
                    m.menu_level_name, m.name, m.photo_booth, m.startup_level_name, m.tags,
                    m.module_type, m.uuid, m.publish_handle, m.version, m.num_players);
  };
  return fields(a) == fields(b);
}

/// Whether a parse that drops dependency records answers as one that keeps them.
inline bool drop_gives_the_same_answer(const error::Result<tarn::pak::Metadata>& kept,
                                       const error::Result<tarn::pak::Metadata>& dropped) {
  if (kept.has_value() != dropped.has_value()) return false;
  if (!kept) return kept.error().message() == dropped.error().message();
  return dropped->dependencies.empty() && same_module_info(kept->module_info, dropped->module_info);
}

}  // namespace metadata_input_detail

/// Parses `bytes` as a "meta.kvt" document, keeping and then dropping dependency
/// records. Returns what broken promise was seen, if any: a failure without a
/// message, a text that is not trimmed UTF-8, or a different answer when the
/// dependency records are dropped.
inline std::optional<std::string> parse_metadata_input(std::string_view bytes) {
  // A buffer of its own, padded as extracted descriptions are, so that the
  // sanitizers see any read past its slack.
  const common::ByteBuffer document = common::ByteBuffer::copy_of(bytes).value();
  auto metadata = tarn::pak::Metadata::parse(document);
  if (!metadata && metadata.error().message().empty()) return "a failure without a message";
  if (metadata && !metadata_input_detail::has_clean_texts(*metadata)) {
    return "a text that is not trimmed, whole UTF-8";
  }
  auto dropped = tarn::pak::Metadata::parse(document, tarn::pak::DependencyRecords::drop);
  if (!metadata_input_detail::drop_gives_the_same_answer(metadata, dropped)) {
    return "dropping dependency records changes the answer";
  }
  return std::nullopt;
}

}  // namespace quellan::fuzz
