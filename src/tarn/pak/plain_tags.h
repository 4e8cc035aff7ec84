#pragma once

#include <cstddef>
#include <cstring>
#include <optional>
#include <string_view>

#include "common/byte_buffer.h"
#include "tarn/pak/schema.h"
#include "tarn/pak/xml_byte_scan.h"
#include "tarn/pak/xml_reader.h"

namespace quellan::tarn::pak {

// The two tags that the metadata parser reads by the thousand, `node` start tags
// and the `attribute` tags of fields, read in one pass where they are written
// plainly. Each reads through `XmlReader::read_tag_with`, by the attribute
// cursor's grammar, and declines on anything it does not read the way the
// general reading would; `XmlReader::next` and a cursor then read the same tag.

/// The `id` and `value` attributes of a field tag, each absent when it lacks it.
struct IdAndValue {
  std::optional<XmlAttribute> id;
  std::optional<XmlAttribute> value;
};

/// A `node` tag whose first attribute is `id`, and that attribute, still escaped.
struct NodeTag {
  XmlEventKind kind;  // a start tag, or an empty-element tag that is no node
  XmlAttribute id;
};

/// Reads the attributes of an `attribute` tag from `from` up to the `/>` or `>`
/// that follows them, keeping `id` and `value` in `found`. Where it stopped;
/// nullopt for anything that the general reading would not read the same, and
/// for a tag of more keys than the cursor compares one by one.
std::optional<std::size_t> read_field_attributes(std::string_view document, std::size_t from, IdAndValue& found);

/// Reads a `node` tag's first attribute from `from` into `id` when its key is
/// `id`, and stops after it: the attributes after it are not examined.
std::optional<std::size_t> read_node_id(std::string_view document, std::size_t from, XmlAttribute& id);

/// Where the attributes of a tag named `name` start, when the document has that
/// tag at `start`: its `<` and name, then white space, which ends the name as the
/// general reading finds it. The document is padded, so the name's bytes may be
/// compared before its end is known. Inline, so that a tag of another name, met
/// on every tag of a deep document, is declined in a few instructions.
template <std::size_t Size>
inline std::optional<std::size_t> attributes_after_name(std::string_view document, std::size_t start,
                                                 const char (&name)[Size]) {
  constexpr std::size_t NAME_SIZE = Size - 1;
  static_assert(common::ByteBuffer::SLACK >= NAME_SIZE + 1);
  const std::size_t after_name = start + 1 + NAME_SIZE;
  if (std::memcmp(document.data() + start + 1, name, NAME_SIZE) != 0 || after_name >= document.size() ||
      !is_white_space(document[after_name])) {
    return std::nullopt;
  }
  return after_name;
}

/// Reads a tag named `attribute` whose attributes all read and none repeats, and
/// gives its `id` and `value` in `field`. Written as a start tag, it is no field:
/// it reads without either. Whether it read one; when not, `field` holds nothing
/// of use.
inline bool read_plain_field_tag(XmlReader& reader, IdAndValue& found) {
  const std::optional<XmlEventKind> kind =
      reader.read_tag_with([&](std::string_view document, std::size_t start) -> std::optional<std::size_t> {
        const std::optional<std::size_t> attributes = attributes_after_name(document, start, schema::FIELD);
        if (!attributes) return std::nullopt;
        return read_field_attributes(document, *attributes, found);
      });
  if (!kind) return false;
  if (*kind == XmlEventKind::start_tag) found = IdAndValue{};  // no field: it changes nothing
  return true;
}

/// A tag named `node` whose first attribute reads and is `id`; the attributes
/// after it are not examined.
inline std::optional<NodeTag> read_plain_node_tag(XmlReader& reader) {
  XmlAttribute id;
  const std::optional<XmlEventKind> kind =
      reader.read_tag_with([&](std::string_view document, std::size_t start) -> std::optional<std::size_t> {
        const std::optional<std::size_t> attributes = attributes_after_name(document, start, schema::NODE);
        if (!attributes) return std::nullopt;
        return read_node_id(document, *attributes, id);
      });
  if (!kind) return std::nullopt;
  return NodeTag{*kind, id};
}

}  // namespace quellan::tarn::pak
