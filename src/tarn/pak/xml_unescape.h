#pragma once

#include <string>
#include <string_view>

#include "error/expected.h"
#include "tarn/pak/xml_attributes.h"
#include "tarn/pak/xml_error.h"

namespace quellan::tarn::pak {

/// The text of an attribute's value. The raw value must be well-formed UTF-8; its
/// references are expanded: the five that XML predefines (`&lt;` `&gt;` `&amp;`
/// `&apos;` `&quot;`) and character references `&#` decimal `;` and `&#x` hex `;`
/// to any Unicode scalar value, U+0000 included. Any other reference, and an `&`
/// without its `;`, is an error. Nothing else changes: tabs and line breaks stay
/// as written. The result is a view of the raw value itself when it holds no
/// reference, else of `buffer`, which the caller reuses from value to value.
error::Expected<std::string_view, XmlError> unescape(const XmlAttribute& attribute,
                                                     std::string& buffer);

}  // namespace quellan::tarn::pak
