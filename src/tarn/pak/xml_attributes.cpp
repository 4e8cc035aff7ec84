#include "tarn/pak/xml_attributes.h"

#include <algorithm>
#include <span>

#include "tarn/pak/xml_syntax.h"

namespace quellan::tarn::pak {

error::Expected<std::optional<XmlAttribute>, XmlError> XmlAttributeCursor::next() {
  XmlAttribute attribute;
  switch (read_attribute(attribute)) {
    case Read::attribute:
      break;
    case Read::end:
      return std::nullopt;
    case Read::failed:
      return std::unexpected(*error_);
  }
  if (repeats_earlier_key(attribute.key)) {
    fail(XmlErrorKind::duplicate_attribute, attribute.key);
    return std::unexpected(*error_);
  }
  return attribute;
}

XmlAttributeCursor::Read XmlAttributeCursor::read_attribute(XmlAttribute& attribute) {
  if (error_) return Read::failed;
  const std::string_view text = list_.text;
  key_offset_ = skip_white_space(text, position_);
  if (key_offset_ == text.size()) return Read::end;
  std::size_t i = std::min(find_any_of<' ', '\t', '\r', '\n', '='>(text, key_offset_),
                           text.size());
  const std::string_view key = text.substr(key_offset_, i - key_offset_);

  i = skip_white_space(text, i);
  if (i == text.size() || text[i] != '=') {
    return fail(XmlErrorKind::attribute_without_equals, key);
  }
  i = skip_white_space(text, i + 1);
  if (i == text.size()) {
    return fail(XmlErrorKind::attribute_without_value, key);
  }
  if (!is_quote(text[i])) {
    return fail(XmlErrorKind::unquoted_attribute_value, key);
  }
  const std::size_t value_start = i + 1;
  bool plain = false;
  const std::size_t value_end =
      text[i] == '"' ? find_value_end<'"'>(text, value_start, plain)
                     : find_value_end<'\''>(text, value_start, plain);
  if (value_end == std::string_view::npos) {
    return fail(XmlErrorKind::unclosed_attribute_value, key);
  }
  position_ = value_end + 1;
  attribute = {key, text.substr(value_start, value_end - value_start), list_.offset + value_start,
               plain};
  return Read::attribute;
}

XmlAttributeCursor::Read XmlAttributeCursor::fail(XmlErrorKind kind, std::string_view key) {
  error_ = XmlError{kind, list_.offset + key_offset_, key};
  return Read::failed;
}

bool XmlAttributeCursor::repeats_earlier_key(std::string_view key) {
  const std::size_t index = count_++;
  if (index < KEYS_COMPARED_ONE_BY_ONE) {
    const auto earlier = std::span(first_keys_).first(index);
    first_keys_[index] = key;
    return std::ranges::find(earlier, key) != earlier.end();
  }
  if (!many_keys_) {
    many_keys_.emplace(list_.text);
    for (const std::string_view earlier : first_keys_) {
      (void)many_keys_->insert(static_cast<std::size_t>(earlier.data() - list_.text.data()), earlier.size());
    }
  }
  return many_keys_->insert(key_offset_, key.size());
}

}  // namespace quellan::tarn::pak
