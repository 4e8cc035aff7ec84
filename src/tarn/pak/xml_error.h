#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quellan::tarn::pak {

/// What made the XML reader, its attribute cursor or the unescaping of a value stop.
enum class XmlErrorKind {
  document_too_large,
  reference_in_text,
  unknown_markup,
  unclosed_comment,
  unclosed_cdata,
  unclosed_declaration,
  unclosed_doctype,
  unclosed_tag,
  tag_without_name,
  end_tag_without_name,
  end_tag_without_open_element,
  mismatched_end_tag,
  attribute_without_equals,
  attribute_without_value,
  unquoted_attribute_value,
  unclosed_attribute_value,
  duplicate_attribute,
  value_not_utf8,
  unknown_reference,
  unterminated_reference,
  character_reference_out_of_range,
};

/// One reader error: its kind, the byte offset in the document where it lies, and
/// up to two pieces of the document that the message quotes. Cheap to copy and
/// allocation-free until rendered, so that even a failing reader with no memory to
/// spare can report it.
struct XmlError {
  XmlErrorKind kind;
  std::size_t offset;
  std::string_view quoted = {};
  std::string_view second_quoted = {};

  /// One line that says what and where. Quoted pieces are cut to a few dozen bytes
  /// and show bytes that are not printable ASCII as \xHH escapes.
  std::string message() const;
};

}  // namespace quellan::tarn::pak
