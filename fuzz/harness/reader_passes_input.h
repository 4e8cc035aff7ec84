#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/byte_buffer.h"
#include "tarn/pak/plain_tags.h"
#include "tarn/pak/record_fields.h"
#include "tarn/pak/xml_attributes.h"
#include "tarn/pak/xml_reader.h"

namespace quellan::fuzz {

namespace reader_passes_detail {

using tarn::pak::IdAndValue;
using tarn::pak::NodeTag;
using tarn::pak::XmlAttribute;
using tarn::pak::XmlError;
using tarn::pak::XmlEvent;
using tarn::pak::XmlEventKind;
using tarn::pak::XmlReader;

inline bool same_attribute(const std::optional<XmlAttribute>& one, const std::optional<XmlAttribute>& other) {
  if (one.has_value() != other.has_value()) return false;
  if (!one) return true;
  return one->key.data() == other->key.data() && one->key.size() == other->key.size() &&
         one->raw_value.data() == other->raw_value.data() && one->raw_value.size() == other->raw_value.size() &&
         one->value_offset == other->value_offset && one->is_plain_ascii == other->is_plain_ascii;
}

inline bool same_view(std::string_view one, std::string_view other) {
  return one.data() == other.data() && one.size() == other.size();
}

inline bool same_event(const error::Expected<XmlEvent, XmlError>& one, const error::Expected<XmlEvent, XmlError>& other) {
  if (one.has_value() != other.has_value()) return false;
  if (!one) return one.error().message() == other.error().message();
  return one->kind == other->kind && same_view(one->content, other->content) &&
         same_view(one->attributes.text, other->attributes.text) && one->attributes.offset == other->attributes.offset;
}

/// What the general reading must see where a pass read a field tag: that very
/// `attribute` tag, whose attributes all read when it is written as an empty
/// element; as a start tag, it is no field.
inline std::optional<std::string> check_field_tag(XmlReader& general, const IdAndValue& field) {
  const auto event = general.next();
  if (!event || event->content != "attribute") return "a field tag where the general reading sees none";
  if (event->kind == XmlEventKind::start_tag) {
    if (field.id || field.value) return "a field read from a start tag";
    return std::nullopt;
  }
  if (event->kind != XmlEventKind::empty_element_tag) return "a field tag where the general reading sees none";
  const std::optional<IdAndValue> expected = tarn::pak::read_id_and_value(event->attributes);
  if (!expected) return "a field tag whose attributes the general reading refuses";
  if (!same_attribute(expected->id, field.id) || !same_attribute(expected->value, field.value)) {
    return "a field tag read with another id or value";
  }
  return std::nullopt;
}

/// What the general reading must see where a pass read a `node` tag: that very
/// tag, of the same kind, whose first attribute is the same `id`.
inline std::optional<std::string> check_node_tag(XmlReader& general, const NodeTag& node) {
  const auto event = general.next();
  if (!event || event->kind != node.kind || event->content != "node") {
    return "a node tag where the general reading sees none";
  }
  tarn::pak::XmlAttributeCursor cursor(event->attributes);
  const auto first = cursor.next();
  if (!first || !*first || !same_attribute(**first, node.id)) return "a node tag read with another id";
  return std::nullopt;
}

/// What the general reading must see where the reader read a `node` end tag by
/// name: that very end tag.
inline std::optional<std::string> check_node_end_tag(XmlReader& general) {
  const auto event = general.next();
  if (!event || event->kind != XmlEventKind::end_tag || event->content != "node") {
    return "a node end tag where the general reading sees none";
  }
  return std::nullopt;
}

}  // namespace reader_passes_detail

/// Reads `bytes` with two readers side by side: one by its general events alone,
/// the other trying the parser's one-pass reads of field and `node` tags and of
/// `node` end tags before every event. What a pass reads, the general reading
/// must read the same way; where the passes decline, both readers must give the
/// same event or error.
/// Returns the first difference, if any.
inline std::optional<std::string> compare_reader_passes_input(std::string_view bytes) {
  using namespace reader_passes_detail;
  const common::ByteBuffer document = common::ByteBuffer::copy_of(bytes).value();
  XmlReader general(document);
  XmlReader specialised(document);
  IdAndValue field;
  for (;;) {
    if (tarn::pak::read_plain_field_tag(specialised, field)) {
      if (auto difference = check_field_tag(general, field)) return difference;
      continue;
    }
    if (const std::optional<NodeTag> node = tarn::pak::read_plain_node_tag(specialised)) {
      if (auto difference = check_node_tag(general, *node)) return difference;
      continue;
    }
    if (specialised.read_end_tag_named("node")) {
      if (auto difference = check_node_end_tag(general)) return difference;
      continue;
    }
    const auto expected = general.next();
    if (!same_event(expected, specialised.next())) return "another event after the passes declined";
    if (!expected || expected->kind == XmlEventKind::end_of_input) return std::nullopt;
  }
}

}  // namespace quellan::fuzz
