#include "tarn/pak/xml_attributes.h"

#include <algorithm>
#include <span>
#include <vector>

#include "tarn/pak/xml_syntax.h"

namespace quellan::tarn::pak {

namespace {

/// Where a key lies in its attribute list: 32 bits each, which the reader's
/// limit on document size allows, halve what a hostile tag's keys cost.
struct KeySpan {
  std::uint32_t offset;
  std::uint32_t length;
};

}  // namespace

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
  if (!first_repeated_key_) first_repeated_key_ = find_first_repeated_key();
  return key_offset_ == *first_repeated_key_;
}

// Reads the whole list once more with a cursor of its own, which stops at the first
// malformed attribute: a repeat after it can never be reached.
std::size_t XmlAttributeCursor::find_first_repeated_key() const {
  std::vector<KeySpan> keys;
  XmlAttributeCursor reading(list_);
  XmlAttribute attribute;
  while (reading.read_attribute(attribute) == Read::attribute) {
    keys.push_back({static_cast<std::uint32_t>(reading.key_offset_),
                    static_cast<std::uint32_t>(attribute.key.size())});
  }
  auto key_of = [&](const KeySpan& span) { return list_.text.substr(span.offset, span.length); };
  // Equal keys end up side by side, in document order; the second of each run is
  // a repeat, and the first such in the document is the one to report.
  std::ranges::sort(keys, [&](const KeySpan& a, const KeySpan& b) {
    const int order = key_of(a).compare(key_of(b));
    return order < 0 || (order == 0 && a.offset < b.offset);
  });
  std::size_t first_repeat = std::string_view::npos;
  for (std::size_t i = 1; i < keys.size(); ++i) {
    const bool starts_run = i == 1 || key_of(keys[i - 2]) != key_of(keys[i - 1]);
    if (starts_run && key_of(keys[i - 1]) == key_of(keys[i])) {
      first_repeat = std::min<std::size_t>(first_repeat, keys[i].offset);
    }
  }
  return first_repeat;
}

}  // namespace quellan::tarn::pak
