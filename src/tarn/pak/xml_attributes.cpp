#include "tarn/pak/xml_attributes.h"

#include <string_view>

namespace quellan::tarn::pak {

namespace {

/// The offset of `key`, which lies in `list`.
std::size_t offset_in(std::string_view list, std::string_view key) {
  return static_cast<std::size_t>(key.data() - list.data());
}

}  // namespace

error::Expected<std::optional<XmlAttribute>, XmlError> XmlAttributeCursor::next() {
  AttributeSpan span;
  switch (read_next(span)) {
    case Read::attribute:
      break;
    case Read::end:
      return std::nullopt;
    case Read::failed:
      return std::unexpected(*error_);
  }
  // Once the list was read ahead, the one repeat that counts is known.
  if (first_repeat_ahead_ ? key_offset_ == *first_repeat_ahead_ : repeats_earlier_key(span.key)) {
    fail(XmlErrorKind::duplicate_attribute, span.key);
    return std::unexpected(*error_);
  }
  return attribute_of(list_.text, list_.offset, span);
}

XmlAttributeCursor::Read XmlAttributeCursor::read_next(AttributeSpan& span) {
  if (error_) return Read::failed;
  if (shapes_handed_out_ < shapes_read_ahead_.size()) {
    const Shape shape = shapes_read_ahead_[shapes_handed_out_++];
    if (shape.space != READ_AGAIN) {
      span = span_of(shape);
      return Read::attribute;
    }
  }
  key_offset_ = skip_white_space(list_.text, position_);
  if (key_offset_ == list_.text.size()) return Read::end;
  const error::Expected<AttributeSpan, XmlErrorKind> read = read_attribute(list_.text, key_offset_);
  if (!read) return fail(read.error(), key_at(list_.text, key_offset_));
  span = *read;
  position_ = end_of(list_.text, span);
  return Read::attribute;
}

XmlAttributeCursor::Read XmlAttributeCursor::fail(XmlErrorKind kind, std::string_view key) {
  error_ = XmlError{kind, list_.offset + key_offset_, key};
  return Read::failed;
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
  for (std::size_t position = position_;;) {
    const std::size_t key_offset = skip_white_space(list_.text, position);
    if (key_offset == list_.text.size()) break;
    const error::Expected<AttributeSpan, XmlErrorKind> span = read_attribute(list_.text, key_offset);
    if (!span) break;
    shapes_read_ahead_.push_back(shape_of(key_offset - position, *span));
    // Once a repeat is known, the attributes after it are never handed out.
    if (const std::optional<std::size_t> repeat = batch.add(key_offset, span->key.size())) return *repeat;
    position = end_of(list_.text, *span);
  }
  return batch.first_repeat().value_or(std::string_view::npos);
}

XmlAttributeCursor::Shape XmlAttributeCursor::shape_of(std::size_t space, const AttributeSpan& span) {
  constexpr std::size_t SIZE_LIMIT = 16;  // of a four-bit field
  const bool written_so = span.value.data() == span.key.data() + span.key.size() + EQUALS_AND_QUOTE;
  if (space >= READ_AGAIN || !written_so || span.key.size() >= SIZE_LIMIT || span.value.size() >= SIZE_LIMIT) {
    return {.space = READ_AGAIN, .plain = 0, .key_size = 0, .value_size = 0};
  }
  Shape shape{};  // each field below its limit, as checked above
  shape.space = space & READ_AGAIN;
  shape.plain = span.plain;
  shape.key_size = span.key.size() & (SIZE_LIMIT - 1);
  shape.value_size = span.value.size() & (SIZE_LIMIT - 1);
  return shape;
}

AttributeSpan XmlAttributeCursor::span_of(Shape shape) {
  key_offset_ = position_ + shape.space;
  const char* const key = list_.text.data() + key_offset_;
  const AttributeSpan span{.key = std::string_view(key, shape.key_size),
                           .value = std::string_view(key + shape.key_size + EQUALS_AND_QUOTE, shape.value_size),
                           .plain = shape.plain != 0};
  position_ = end_of(list_.text, span);
  return span;
}

}  // namespace quellan::tarn::pak
