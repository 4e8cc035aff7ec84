#pragma once

#include <string>
#include <string_view>

#include "error/expected.h"
#include "tarn/pak/xml_attributes.h"
#include "tarn/pak/xml_error.h"

namespace quellan::tarn::pak {

/// `unescape` for a value that is not plain ASCII without `&`.
error::Expected<std::string_view, XmlError> unescape_escaped(const XmlAttribute& attribute,
                                                             std::string& buffer);

/// The text of an attribute's value, read as `unescape` reads it, written over
/// `text` itself: a string that keeps the text is filled in place, without a
/// buffer in between. On failure `text` holds part of the value.
error::Expected<void, XmlError> unescape_into(const XmlAttribute& attribute, std::string& text);

/// Whether an attribute's value unescapes, with the error `unescape` gives where
/// it does not, its text written nowhere: for values that only need to be valid.
error::Expected<void, XmlError> check_unescapes(const XmlAttribute& attribute);

/// The text of an attribute's value. The raw value must be well-formed UTF-8; its
/// references are expanded: the five that XML predefines (`&lt;` `&gt;` `&amp;`
/// `&apos;` `&quot;`) and character references `&#` decimal `;` and `&#x` hex `;`
/// to any Unicode scalar value, U+0000 included. Any other reference, and an `&`
/// without its `;`, is an error. Nothing else changes: tabs and line breaks stay
/// as written. The result is a view of the raw value itself when it holds no
/// reference, else of `buffer`, which the caller reuses from value to value. The
/// usual plain value is taken as it is, without a call.
inline error::Expected<std::string_view, XmlError> unescape(const XmlAttribute& attribute,
                                                            std::string& buffer) {
  if (attribute.is_plain_ascii) return attribute.raw_value;
  return unescape_escaped(attribute, buffer);
}

}  // namespace quellan::tarn::pak
