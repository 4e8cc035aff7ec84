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

std::expected<std::optional<XmlAttribute>, XmlError> XmlAttributeCursor::next() {
  if (error_) return std::unexpected(*error_);
  const std::size_t key_offset = skip_white_space(list_.text, position_);
  std::expected<std::optional<XmlAttribute>, XmlError> attribute = read_attribute();
  if (attribute && *attribute && repeats_earlier_key((*attribute)->key, key_offset)) {
    attribute = std::unexpected(
        XmlError{XmlErrorKind::duplicate_attribute, list_.offset + key_offset, (*attribute)->key});
  }
  if (!attribute) error_ = attribute.error();
  return attribute;
}

std::expected<std::optional<XmlAttribute>, XmlError> XmlAttributeCursor::read_attribute() {
  const std::string_view text = list_.text;
  const std::size_t key_offset = skip_white_space(text, position_);
  if (key_offset == text.size()) return std::nullopt;
  std::size_t i = std::min(find_white_space(text, key_offset), text.find('=', key_offset));
  const std::string_view key = text.substr(key_offset, i - key_offset);
  auto fail = [&](XmlErrorKind kind) {
    return std::unexpected(XmlError{kind, list_.offset + key_offset, key});
  };

  i = skip_white_space(text, i);
  if (i == text.size() || text[i] != '=') return fail(XmlErrorKind::attribute_without_equals);
  i = skip_white_space(text, i + 1);
  if (i == text.size()) return fail(XmlErrorKind::attribute_without_value);
  if (!is_quote(text[i])) return fail(XmlErrorKind::unquoted_attribute_value);
  const std::size_t value_start = i + 1;
  const std::size_t value_end = text.find(text[i], value_start);
  if (value_end == std::string_view::npos) return fail(XmlErrorKind::unclosed_attribute_value);

  position_ = value_end + 1;
  return XmlAttribute{key, text.substr(value_start, value_end - value_start),
                      list_.offset + value_start};
}

bool XmlAttributeCursor::repeats_earlier_key(std::string_view key, std::size_t key_offset) {
  const std::size_t index = count_++;
  if (index < KEYS_COMPARED_ONE_BY_ONE) {
    const auto earlier = std::span(first_keys_).first(index);
    first_keys_[index] = key;
    return std::ranges::find(earlier, key) != earlier.end();
  }
  if (!first_repeated_key_) first_repeated_key_ = find_first_repeated_key();
  return key_offset == *first_repeated_key_;
}

// Reads the whole list once more with a cursor of its own, which stops at the first
// malformed attribute: a repeat after it can never be reached.
std::size_t XmlAttributeCursor::find_first_repeated_key() const {
  std::vector<KeySpan> keys;
  XmlAttributeCursor reading(list_);
  std::size_t key_offset = skip_white_space(list_.text, 0);
  for (auto attribute = reading.read_attribute(); attribute && *attribute;
       attribute = reading.read_attribute()) {
    keys.push_back({static_cast<std::uint32_t>(key_offset),
                    static_cast<std::uint32_t>((*attribute)->key.size())});
    key_offset = skip_white_space(list_.text, reading.position_);
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
