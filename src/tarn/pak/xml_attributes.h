#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "error/expected.h"
#include "tarn/pak/key_set.h"
#include "tarn/pak/xml_byte_scan.h"
#include "tarn/pak/xml_error.h"
#include "tarn/pak/xml_reader.h"

namespace quellan::tarn::pak {

// The one grammar of attributes, for the cursor and for passes that read a tag
// of their own: a key up to the next white space or `=`, optional white space,
// `=`, optional white space and a value in `'` or `"` quotes. Every text read
// lies in a `common::PaddedBytes` document.

/// One attribute as it lies in its text.
struct AttributeSpan {
  std::string_view key;
  std::string_view value;  // still escaped
  bool plain = false;      // ASCII without `&`: its own text, needing neither unescaping nor a UTF-8 check
};

/// The `=` and the opening quote between a key and its value, the way nearly
/// every attribute is written: `key="value"`.
inline constexpr std::size_t EQUALS_AND_QUOTE = 2;

/// The offset of `text` just past the closing quote of `span`, read from it.
inline std::size_t end_of(std::string_view text, const AttributeSpan& span) {
  return static_cast<std::size_t>(span.value.data() - text.data()) + span.value.size() + 1;
}

/// `span`, read from `text`, as the reader hands attributes out, where `text`
/// lies at `text_offset` of its document.
inline XmlAttribute attribute_of(std::string_view text, std::size_t text_offset, const AttributeSpan& span) {
  return {span.key, span.value, text_offset + static_cast<std::size_t>(span.value.data() - text.data()), span.plain};
}

/// Reads the attribute of `text` whose key runs from `key_offset` to `key_end`,
/// where a byte that ends a key or the end of `text` lies. The attribute, or
/// what is wrong with it.
inline error::Expected<AttributeSpan, XmlErrorKind> read_attribute(std::string_view text, std::size_t key_offset,
                                                                   std::size_t key_end) {
  AttributeSpan span{.key = text.substr(key_offset, key_end - key_offset), .value = {}, .plain = false};
  // Most attributes are written `key="value"`, without white space to pass. The
  // byte after `text` is the document's padding or the `/` or `>` that ends the
  // tag: never an `=` or a quote.
  const char* const bytes = text.data();
  std::size_t value_start = key_end + EQUALS_AND_QUOTE;
  if (bytes[key_end] != '=' || !Quote::contains(bytes[key_end + 1])) {
    std::size_t i = skip_white_space(text, key_end);
    if (i == text.size() || text[i] != '=') return std::unexpected(XmlErrorKind::attribute_without_equals);
    i = skip_white_space(text, i + 1);
    if (i == text.size()) return std::unexpected(XmlErrorKind::attribute_without_value);
    if (!Quote::contains(text[i])) return std::unexpected(XmlErrorKind::unquoted_attribute_value);
    value_start = i + 1;
  }
  const std::size_t value_end = bytes[value_start - 1] == '"'
                                    ? find_value_end<'"'>(text, value_start, span.plain)
                                    : find_value_end<'\''>(text, value_start, span.plain);
  if (value_end == std::string_view::npos) return std::unexpected(XmlErrorKind::unclosed_attribute_value);
  span.value = std::string_view(bytes + value_start, value_end - value_start);
  return span;
}

/// `read_attribute` for the key that starts at `key_offset` of `text`.
inline error::Expected<AttributeSpan, XmlErrorKind> read_attribute(std::string_view text, std::size_t key_offset) {
  return read_attribute(text, key_offset, key_offset + key_at(text, key_offset).size());
}

/// Reads the attributes of one tag in document order, one at a time, as far as the
/// caller asks: attributes after the last one asked for are never examined. A
/// malformed attribute and a key met twice are errors; after one, the same error
/// repeats.
class XmlAttributeCursor {
 public:
  explicit XmlAttributeCursor(XmlAttributeList list) : list_(list) {}

  /// The next attribute, nullopt after the last, or the error of the next one.
  error::Expected<std::optional<XmlAttribute>, XmlError> next();

  // A list this long can hold more keys than a `KeySet` keeps in the caches. Its
  // keys are read ahead at once instead, as a `KeyBatch` (see
  // `find_first_repeat_ahead`); a shorter one goes into a `KeySet` as it is read.
  static constexpr std::size_t LIST_BYTES_READ_AHEAD = std::size_t{64} << 10;

 private:
  enum class Read { attribute, end, failed };
  /// Reads the next attribute into `span`, with its syntax checked but not
  /// whether its key repeats; a failure is kept in `error_`.
  Read read_next(AttributeSpan& span);
  /// Keeps the error of the attribute whose key starts at `key_offset_`.
  Read fail(XmlErrorKind kind, std::string_view key);
  /// Whether `key`, the one read last, was met before in the tag.
  bool repeats_earlier_key(std::string_view key);
  /// The offset of the first key of the list that repeats an earlier one, from
  /// the first keys and `key`, the one read last, on, up to the first malformed
  /// attribute, or npos. The caller meets that attribute's error before any key
  /// after it, and the answers for the keys before it are the same as one at a
  /// time. Keeps the shape of each attribute read.
  std::size_t find_first_repeat_ahead(std::string_view key);

  /// Where the read ahead found an attribute written `key="value"` of a short key
  /// and value, so that it is handed out without being read again: two bytes for
  /// each attribute of a list of millions.
  struct Shape {
    std::uint16_t space : 7;  // the white space before the key; `READ_AGAIN` for any other attribute
    std::uint16_t plain : 1;
    std::uint16_t key_size : 4;
    std::uint16_t value_size : 4;
  };
  static constexpr std::uint16_t READ_AGAIN = 127;
  static Shape shape_of(std::size_t space, const AttributeSpan& span);
  /// The attribute of `shape`, after the one read last.
  AttributeSpan span_of(Shape shape);

  XmlAttributeList list_;
  std::size_t position_ = 0;
  std::size_t key_offset_ = 0;  // of the attribute read last
  FirstKeys first_keys_;
  std::optional<KeySet> many_keys_;
  std::optional<std::size_t> first_repeat_ahead_;  // once read ahead; npos if none
  std::vector<Shape> shapes_read_ahead_;            // of the attributes after the one that read ahead
  std::size_t shapes_handed_out_ = 0;
  std::optional<XmlError> error_;
};

}  // namespace quellan::tarn::pak
