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
  // Once the list was read ahead, the one repeat that counts is known.
  if (first_repeat_ahead_ ? key_offset_ == *first_repeat_ahead_ : repeats_earlier_key(attribute.key)) {
    fail(XmlErrorKind::duplicate_attribute, attribute.key);
    return std::unexpected(*error_);
  }
  return attribute;
}

XmlAttributeCursor::Read XmlAttributeCursor::read_attribute(XmlAttribute& attribute) {
  if (error_) return Read::failed;
  if (shapes_handed_out_ < shapes_read_ahead_.size() && shapes_read_ahead_[shapes_handed_out_] != READ_AGAIN) {
    read_attribute_read_ahead(attribute);
    return Read::attribute;
  }
  shapes_handed_out_ += shapes_handed_out_ < shapes_read_ahead_.size();
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
    first_repeat_ahead_ = find_first_repeat_ahead(key);
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

void XmlAttributeCursor::read_attribute_read_ahead(XmlAttribute& attribute) {
  const Shape shape = shapes_read_ahead_[shapes_handed_out_++];
  const std::size_t key_size = (shape >> 4) & 0xF;
  const std::size_t value_size = shape & 0xF;
  key_offset_ = position_ + (shape >> 9);
  const char* const key = list_.text.data() + key_offset_;
  attribute.key = std::string_view(key, key_size);
  attribute.raw_value = std::string_view(key + key_size + 2, value_size);
  attribute.value_offset = list_.offset + key_offset_ + key_size + 2;
  attribute.is_plain_ascii = (shape >> 8) & 1;
  position_ = key_offset_ + key_size + value_size + 3;
}

XmlAttributeCursor::Shape XmlAttributeCursor::short_shape(std::size_t space, const XmlAttribute& attribute) {
  // A short attribute lies in one chunk: its key and value sizes take four bits each.
  static_assert(CHUNK <= 16);
  if (space > LONGEST_SHAPED_SPACE) return READ_AGAIN;
  return static_cast<Shape>(space << 9 | std::size_t{attribute.is_plain_ascii} << 8 | attribute.key.size() << 4 |
                            attribute.raw_value.size());
}

std::size_t XmlAttributeCursor::find_first_repeat_ahead(std::string_view key) {
  KeyBatch batch(list_.text);
  for (const std::string_view earlier : first_keys_) {
    batch.add(static_cast<std::size_t>(earlier.data() - list_.text.data()), earlier.size());
  }
  batch.add(key_offset_, key.size());
  // At most one attribute in four bytes, `k=""`: room that is never filled is
  // never touched.
  shapes_read_ahead_.reserve((list_.text.size() - position_) / 4);
  XmlAttribute attribute;
  for (std::size_t position = position_;;) {
    const std::size_t key_offset = skip_white_space(list_.text, position);
    if (key_offset == list_.text.size()) break;
    std::optional<std::size_t> end = read_short_attribute(list_.text, key_offset, list_.offset, attribute);
    shapes_read_ahead_.push_back(end ? short_shape(key_offset - position, attribute) : READ_AGAIN);
    if (!end) {
      const error::Expected<std::size_t, XmlErrorKind> long_end =
          read_long_attribute(list_.text, key_offset, list_.offset, attribute);
      if (!long_end) break;
      end = *long_end;
    }
    // Once a repeat is known, the attributes after it are never handed out.
    if (const std::optional<std::size_t> repeat = batch.add(key_offset, attribute.key.size())) return *repeat;
    position = *end;
  }
  return batch.first_repeat().value_or(std::string_view::npos);
}

}  // namespace quellan::tarn::pak
