#include "tarn/pak/xml_error.h"

#include <cstdlib>

namespace quellan::tarn::pak {

namespace {

constexpr std::size_t LONGEST_QUOTE = 40;

/// `bytes` as they may stand in a one-line message.
std::string quote(std::string_view bytes) {
  static constexpr char HEX_DIGITS[] = "0123456789ABCDEF";
  const bool cut = bytes.size() > LONGEST_QUOTE;
  std::string text;
  for (const char c : bytes.substr(0, LONGEST_QUOTE)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
      text += c;
    } else {
      text += "\\x";
      text += HEX_DIGITS[byte >> 4];
      text += HEX_DIGITS[byte & 0xF];
    }
  }
  if (cut) text += "...";
  return text;
}

std::string describe(const XmlError& error) {
  const std::string first = quote(error.quoted);
  switch (error.kind) {
    case XmlErrorKind::document_too_large:
      return "document is larger than the 4294967295 bytes a reader reads";
    case XmlErrorKind::reference_in_text:
      return "'&' in text begins no reference";
    case XmlErrorKind::unknown_markup:
      return "'<!' begins no comment, CDATA section or document type declaration";
    case XmlErrorKind::unclosed_comment:
      return "comment has no end";
    case XmlErrorKind::unclosed_cdata:
      return "CDATA section has no end";
    case XmlErrorKind::unclosed_declaration:
      return "declaration or processing instruction has no end";
    case XmlErrorKind::unclosed_doctype:
      return "document type declaration has no end";
    case XmlErrorKind::unclosed_tag:
      return "tag has no end";
    case XmlErrorKind::tag_without_name:
      return "tag without a name";
    case XmlErrorKind::end_tag_without_name:
      return "end tag without a name";
    case XmlErrorKind::end_tag_without_open_element:
      return "end tag </" + first + "> closes no open element";
    case XmlErrorKind::mismatched_end_tag:
      return "mismatched end tag: expected </" + first + ">, found </" +
             quote(error.second_quoted) + ">";
    case XmlErrorKind::attribute_without_equals:
      return "attribute '" + first + "' has no '=' after it";
    case XmlErrorKind::attribute_without_value:
      return "attribute '" + first + "' has '=' but no value";
    case XmlErrorKind::unquoted_attribute_value:
      return "value of attribute '" + first + "' is not in quotes";
    case XmlErrorKind::unclosed_attribute_value:
      return "value of attribute '" + first + "' has no closing quote";
    case XmlErrorKind::duplicate_attribute:
      return "duplicate attribute '" + first + "'";
    case XmlErrorKind::value_not_utf8:
      return "attribute value is not UTF-8";
    case XmlErrorKind::unknown_reference:
      return "unknown reference &" + first + ";";
    case XmlErrorKind::unterminated_reference:
      return "reference without ';'";
    case XmlErrorKind::character_reference_out_of_range:
      return "character reference &" + first + "; is no Unicode scalar value";
  }
  std::abort();  // every kind returns above
}

}  // namespace

std::string XmlError::message() const {
  return describe(*this) + " at byte " + std::to_string(offset);
}

}  // namespace quellan::tarn::pak
