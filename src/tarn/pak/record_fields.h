#pragma once

#include <optional>
#include <string>

#include "tarn/pak/metadata.h"
#include "tarn/pak/records.h"
#include "tarn/pak/plain_tags.h"
#include "tarn/pak/xml_reader.h"

namespace quellan::tarn::pak {

/// Room for the unescaped `id` of an `attribute` element, and for a `value` that
/// no text field takes (a number, or a value no field wants, which must still
/// unescape), kept from one element to the next so that reading a field
/// allocates nothing once warm. A text field is unescaped in its own string.
struct FieldBuffers {
  std::string id;
  std::string value;
};

/// The `id` and `value` of an `attribute` element read the general way, from its
/// attribute list; nullopt for a malformed or repeated attribute.
std::optional<IdAndValue> read_id_and_value(XmlAttributeList attributes);

/// Applies one `attribute` element, given by its `id` and `value`, to the record of
/// the node being read. Its `id` names the field by the record's table of attribute
/// ids and its `value`, trimmed of white space, becomes the field's content; an
/// element without both, or with an id not in the table, changes nothing. Returns
/// false, which fails the node, for an `id` or `value` that cannot be unescaped and
/// the value of a numeric field that is not a decimal of the field's type. A text
/// field that `texts` says to check is checked and left as it was.
[[nodiscard]] bool assign_field(ModuleInfo& record, const IdAndValue& element, FieldBuffers& buffers,
                                FieldTexts texts);
[[nodiscard]] bool assign_field(ModuleShortDesc& record, const IdAndValue& element, FieldBuffers& buffers,
                                FieldTexts texts);

}  // namespace quellan::tarn::pak
