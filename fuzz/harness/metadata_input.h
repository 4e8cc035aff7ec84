#pragma once

#include <array>
#include <climits>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "common/path_text.h"
#include "tarn/pak/metadata.h"
#include "tarn/pak/xml_events.h"

namespace quellan::fuzz {

namespace metadata_input_detail {

using tarn::pak::XmlAttributes;
using tarn::pak::XmlEventHandler;

/// Writes down every event of a document, with the two attributes the metadata
/// parser reads, so that two readings can be compared.
class EventLog final : public XmlEventHandler {
 public:
  Next on_start_tag(std::string_view name, XmlAttributes attributes) override {
    return log("start", name, attributes);
  }
  Next on_empty_element_tag(std::string_view name, XmlAttributes attributes) override {
    return log("empty", name, attributes);
  }
  Next on_end_tag(std::string_view name) override {
    text_ += "end " + std::string(name) + '\n';
    return Next::read_on;
  }
  void on_reader_error(std::string) override { text_ += "reader error\n"; }
  void on_end_of_input() override { text_ += "end of input\n"; }

  const std::string& text() const { return text_; }

 private:
  Next log(std::string_view kind, std::string_view name, XmlAttributes attributes) {
    text_ += std::string(kind) + ' ' + std::string(name);
    for (std::string_view key : {"id", "value"}) {
      if (auto value = attributes.find(key)) text_ += ' ' + std::string(key) + '=' + std::string(*value);
    }
    text_ += '\n';
    return Next::read_on;
  }

  std::string text_;
};

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
    for (std::string_view text : {dependency.folder, dependency.md5, dependency.name, dependency.uuid}) {
      if (!is_clean_text(text)) return false;
    }
  }
  return true;
}

inline std::string events_of(std::string_view document, std::size_t max_chunk) {
  EventLog log;
  tarn::pak::read_xml_events(document, log, max_chunk);
  return log.text();
}

}  // namespace metadata_input_detail

/// Parses `bytes` as a "meta.kvt" document, and reads it once more fed to the XML
/// reader in small pieces, as a document too large for one piece would be. Returns
/// what broken promise was seen, if any: a failure without a message, a text that
/// is not trimmed UTF-8, or events that depend on how the document was cut up.
inline std::optional<std::string> parse_metadata_input(std::string_view bytes) {
  auto metadata = tarn::pak::Metadata::parse(bytes);
  if (!metadata && metadata.error().message().empty()) return "a failure without a message";
  if (metadata && !metadata_input_detail::has_clean_texts(*metadata)) {
    return "a text that is not trimmed, whole UTF-8";
  }
  constexpr std::size_t SMALL_PIECE = 7;
  using metadata_input_detail::events_of;
  if (events_of(bytes, INT_MAX) != events_of(bytes, SMALL_PIECE)) {
    return "the XML events depend on how the document is cut into pieces";
  }
  return std::nullopt;
}

}  // namespace quellan::fuzz
