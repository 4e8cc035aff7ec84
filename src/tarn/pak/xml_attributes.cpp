#include "tarn/pak/xml_attributes.h"

#include <string_view>

namespace quellan::tarn::pak {

namespace {

/// The offset of `key`, which lies in `list`.
std::size_t offset_in(std::string_view list, std::string_view key) {
  return static_cast<std::size_t>(key.data() - list.data());
}

}  // namespace

XmlErrorKind attribute_error(std::string_view text, std::size_t key_end) {
  const error::Expected<std::size_t, XmlErrorKind> value_start = find_value_start(text, key_end);
  return value_start ? XmlErrorKind::unclosed_attribute_value : value_start.error();
}

bool XmlAttributeCursor::read_shaped(XmlAttribute& attribute) {
  if (shapes_handed_out_ == shapes_read_ahead_.size()) return false;
  const Shape shape = shapes_read_ahead_[shapes_handed_out_++];
  if (shape.space == READ_AGAIN) return false;
  key_offset_ = position_ + shape.space;
  const std::size_t value_start = key_offset_ + shape.key_size + EQUALS_AND_QUOTE;
  attribute.key = std::string_view(list_.text.data() + key_offset_, shape.key_size);
  attribute.raw_value = std::string_view(list_.text.data() + value_start, shape.value_size);
  attribute.value_offset = list_.offset + value_start;
  attribute.is_plain_ascii = shape.plain != 0;
  position_ = value_start + shape.value_size + 1;
  return true;
}

error::Expected<std::optional<XmlAttribute>, XmlError> XmlAttributeCursor::next() {
  if (error_) return std::unexpected(*error_);
  XmlAttribute attribute;
  if (!read_shaped(attribute)) {
    key_offset_ = skip_white_space(list_.text, position_);
    if (key_offset_ == list_.text.size()) return std::nullopt;
    const std::optional<std::size_t> end = read_attribute(list_.text, list_.offset, key_offset_, attribute);
    if (!end) {
      const std::string_view key = key_at(list_.text, key_offset_);
      return fail(attribute_error(list_.text, key_offset_ + key.size()), key);
    }
    position_ = *end;
  }
  // Once the list was read ahead, the one repeat that counts is known.
  if (first_repeat_ahead_ ? key_offset_ == *first_repeat_ahead_ : repeats_earlier_key(attribute.key)) {
    return fail(XmlErrorKind::duplicate_attribute, attribute.key);
  }
  return attribute;
}

std::unexpected<XmlError> XmlAttributeCursor::fail(XmlErrorKind kind, std::string_view key) {
  error_ = XmlError{kind, list_.offset + key_offset_, key};
  return std::unexpected(*error_);
}

bool XmlAttributeCursor::repeats_earlier_key(std::string_view key) {
  if (!first_keys_.is_full()) return first_keys_.add(key);
  if (list_.text.size() >= LIST_BYTES_READ_AHEAD) {
    first_repeat_ahead_ = find_first_repeat_ahead(key);
    return key_offset_ == *first_repeat_ahead_;
  }
  if (!many_keys_) {
    many_keys_.emplace(list_.text);
    for (const std::string_view earlier : first_keys_.keys()) {
      (void)many_keys_->insert(offset_in(list_.text, earlier), earlier.size());
    }
  }
  return many_keys_->insert(key_offset_, key.size());
}

std::size_t XmlAttributeCursor::find_first_repeat_ahead(std::string_view key) {
  KeyBatch batch(list_.text);
  for (const std::string_view earlier : first_keys_.keys()) {
    (void)batch.add(offset_in(list_.text, earlier), earlier.size());
  }
  (void)batch.add(key_offset_, key.size());
  // At most one attribute in four bytes, `k=""`: room that is never filled is
  // never touched.
  shapes_read_ahead_.reserve((list_.text.size() - position_) / 4);
  XmlAttribute attribute;
  for (std::size_t position = position_;;) {
    const std::size_t key_offset = skip_white_space(list_.text, position);
    if (key_offset == list_.text.size()) break;
    const std::optional<std::size_t> end = read_attribute(list_.text, 0, key_offset, attribute);
    if (!end) break;
    shapes_read_ahead_.push_back(shape_of(key_offset - position, attribute));
    // Once a repeat is known, the attributes after it are never handed out.
    if (const std::optional<std::size_t> repeat = batch.add(key_offset, attribute.key.size())) return *repeat;
    position = *end;
  }
  return batch.first_repeat().value_or(std::string_view::npos);
}

XmlAttributeCursor::Shape XmlAttributeCursor::shape_of(std::size_t space, const XmlAttribute& attribute) {
  constexpr std::size_t SIZE_LIMIT = 16;  // of a four-bit field
  const std::string_view key = attribute.key;
  const std::string_view value = attribute.raw_value;
  const bool written_so = value.data() == key.data() + key.size() + EQUALS_AND_QUOTE;
  if (space >= READ_AGAIN || !written_so || key.size() >= SIZE_LIMIT || value.size() >= SIZE_LIMIT) {
    return {.space = READ_AGAIN, .plain = 0, .key_size = 0, .value_size = 0};
  }
  Shape shape{};  // each field below its limit, as checked above
  shape.space = space & READ_AGAIN;
  shape.plain = attribute.is_plain_ascii;
  shape.key_size = key.size() & (SIZE_LIMIT - 1);
  shape.value_size = value.size() & (SIZE_LIMIT - 1);
  return shape;
}

}  // namespace quellan::tarn::pak
