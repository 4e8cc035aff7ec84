#pragma once

#include <optional>

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

/// Reads a tag named `attribute` whose attributes all read and none repeats, and
/// gives its `id` and `value` in `field`. Written as a start tag, it is no field:
/// it reads without either. Whether it read one; when not, `field` holds nothing
/// of use.
bool read_plain_field_tag(XmlReader& reader, IdAndValue& field);

/// A tag named `node` whose first attribute reads and is `id`; the attributes
/// after it are not examined.
std::optional<NodeTag> read_plain_node_tag(XmlReader& reader);

}  // namespace quellan::tarn::pak
