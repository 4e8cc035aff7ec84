#pragma once

#include "tarn/pak/metadata.h"
#include "tarn/pak/xml_events.h"

namespace quellan::tarn::pak {

/// Applies one `attribute` element, given by its attributes, to the record of the
/// node being read. Its `id` names the field by the record's table of attribute
/// ids and its `value`, trimmed of white space, becomes the field's content; an
/// element without both, or with an id not in the table, changes nothing. Returns
/// false when the value of a numeric field is not a decimal of the field's type,
/// which fails the node.
bool assign_field(ModuleInfo& record, XmlAttributes attributes);
bool assign_field(ModuleShortDesc& record, XmlAttributes attributes);

}  // namespace quellan::tarn::pak
