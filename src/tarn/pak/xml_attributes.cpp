#include "tarn/pak/xml_attributes.h"

#include <algorithm>
#include <span>
#include <string_view>

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
  key_offset_ = skip_white_space(list_.text, position_);
  if (key_offset_ == list_.text.size()) return Read::end;
  const error::Expected<std::size_t, XmlErrorKind> end =
      read_attribute_at(list_.text, key_offset_, list_.offset, attribute);
  if (!end) return fail(end.error(), attribute.key);
  position_ = *end;
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
  if (list_.text.size() >= LIST_BYTES_READ_AHEAD) {
    if (!first_repeat_ahead_) first_repeat_ahead_ = find_first_repeat_ahead(key);
    return key_offset_ == *first_repeat_ahead_;
  }
  if (!many_keys_) {
    many_keys_.emplace(list_.text);
    for (const std::string_view earlier : first_keys_) {
      (void)many_keys_->insert(static_cast<std::size_t>(earlier.data() - list_.text.data()), earlier.size());
    }
  }
  return many_keys_->insert(key_offset_, key.size());
}

std::size_t XmlAttributeCursor::find_first_repeat_ahead(std::string_view key) const {
  KeyBatch batch(list_.text);
  for (const std::string_view earlier : first_keys_) {
    batch.add(static_cast<std::size_t>(earlier.data() - list_.text.data()), earlier.size());
  }
  batch.add(key_offset_, key.size());
  XmlAttribute attribute;
  for (std::size_t position = position_;;) {
    const std::size_t key_offset = skip_white_space(list_.text, position);
    if (key_offset == list_.text.size()) break;
    const error::Expected<std::size_t, XmlErrorKind> end =
        read_attribute_at(list_.text, key_offset, list_.offset, attribute);
    if (!end) break;
    batch.add(key_offset, attribute.key.size());
    position = *end;
  }
  return batch.first_repeat().value_or(std::string_view::npos);
}

}  // namespace quellan::tarn::pak
