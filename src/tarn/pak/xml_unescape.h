#pragma once

#include <string>
#include <string_view>

#include "error/expected.h"
#include "tarn/pak/xml_attributes.h"
#include "tarn/pak/xml_error.h"

namespace quellan::tarn::pak {

// The text of an attribute's value, read in one pass over the raw value that
// checks it, expands its references and, for a field, trims it. The raw value
// must be well-formed UTF-8; its references are the five that XML predefines
// (`&lt;` `&gt;` `&amp;` `&apos;` `&quot;`) and character references `&#`
// decimal `;` and `&#x` hex `;` to any Unicode scalar value, U+0000 included.
// Any other reference, and an `&` without its `;`, is an error; where the value
// is not UTF-8 as well, that is the error. Nothing else changes: tabs and line
// breaks stay as written. Each result views the raw value itself when it holds
// no reference, else `buffer`, which the caller reuses from value to value.

/// What a reading makes of a value that is not plain: nothing but its check,
/// its text, or its text trimmed.
enum class ValueText { checked, kept, trimmed };

/// The one pass over a value that is not plain, which makes of it what `making` says.
error::Expected<std::string_view, XmlError> read_escaped_value(const XmlAttribute& attribute, std::string& buffer,
                                                               ValueText making);

/// `unescape_trimmed` of a plain value, whose white space is ASCII's. One that is
/// empty, or starts and ends with a byte above the space, as nearly every value
/// does, is its own text.
inline std::string_view trimmed_plain(std::string_view raw) {
  const auto white = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  if (raw.empty() || (raw.front() > ' ' && raw.back() > ' ')) return raw;
  while (!raw.empty() && white(raw.front())) raw.remove_prefix(1);
  while (!raw.empty() && white(raw.back())) raw.remove_suffix(1);
  return raw;
}

// The usual plain value is taken as it is, without a call.

/// The text of a value, as written but for its references.
inline error::Expected<std::string_view, XmlError> unescape(const XmlAttribute& attribute, std::string& buffer) {
  if (attribute.is_plain_ascii) return attribute.raw_value;
  return read_escaped_value(attribute, buffer, ValueText::kept);
}

/// The text of a value without the characters of Unicode's White_Space property
/// at either end; white space between other characters stays.
inline error::Expected<std::string_view, XmlError> unescape_trimmed(const XmlAttribute& attribute,
                                                                    std::string& buffer) {
  if (attribute.is_plain_ascii) return trimmed_plain(attribute.raw_value);
  return read_escaped_value(attribute, buffer, ValueText::trimmed);
}

/// Whether a value unescapes, with the error `unescape` gives where it does
/// not, its text written nowhere: for values that only need to be valid.
error::Expected<void, XmlError> check_unescapes(const XmlAttribute& attribute);

}  // namespace quellan::tarn::pak
