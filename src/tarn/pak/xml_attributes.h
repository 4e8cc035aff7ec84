#pragma once

#include <algorithm>
#include <array>
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

/// Whether `c` ends a key.
constexpr bool ends_key(char c) { return c == '=' || is_white_space(c); }

/// Where the key that starts at `key_offset` of `text` ends: at the first byte
/// that `ends_key`.
inline std::size_t find_key_end(std::string_view text, std::size_t key_offset) {
  return std::min(find_any_of<' ', '\t', '\r', '\n', '='>(text, key_offset), text.size());
}

/// Reads the rest of an attribute from the end of its key, `key_end` of `text`,
/// which lies at `text_offset` of the document, into `attribute`. Gives the offset
/// just past the value's closing quote, or what is wrong.
inline error::Expected<std::size_t, XmlErrorKind> read_value_after_key(std::string_view text,
                                                                       std::size_t key_end,
                                                                       std::size_t text_offset,
                                                                       XmlAttribute& attribute) {
  // Most attributes are written `key="value"`, without white space to pass. The
  // byte after `text` is the document's padding or the `/` or `>` that ends the
  // tag: never an `=` or a quote.
  const char* const bytes = text.data();
  std::size_t i = bytes[key_end] == '=' ? key_end : skip_white_space(text, key_end);
  if (i == text.size() || text[i] != '=') return std::unexpected(XmlErrorKind::attribute_without_equals);
  i = Quote::contains(bytes[i + 1]) ? i + 1 : skip_white_space(text, i + 1);
  if (i == text.size()) return std::unexpected(XmlErrorKind::attribute_without_value);
  if (!Quote::contains(text[i])) return std::unexpected(XmlErrorKind::unquoted_attribute_value);
  const std::size_t value_start = i + 1;
  const std::size_t value_end = text[i] == '"'
                                    ? find_value_end<'"'>(text, value_start, attribute.is_plain_ascii)
                                    : find_value_end<'\''>(text, value_start, attribute.is_plain_ascii);
  if (value_end == std::string_view::npos) return std::unexpected(XmlErrorKind::unclosed_attribute_value);
  attribute.raw_value = std::string_view(text.data() + value_start, value_end - value_start);
  attribute.value_offset = text_offset + value_start;
  return value_end + 1;
}

/// Reads the attribute whose key starts at `key_offset` of `text` when all of it
/// lies in the sixteen bytes from there and it is written `key="value"` or
/// `key='value'`, the way tags of many short keys are: from one chunk loaded
/// once. Gives the offset just past it, or nullopt for any other attribute.
inline std::optional<std::size_t> read_short_attribute(std::string_view text, std::size_t key_offset,
                                                       std::size_t text_offset, XmlAttribute& attribute) {
  const char* const bytes = text.data() + key_offset;
  const Chunk chunk = load_chunk(bytes);
  const unsigned key_ends = mask_of<' ', '\t', '\r', '\n', '='>(chunk);
  if (key_ends == 0) return std::nullopt;
  const std::size_t key_end = first_bit(key_ends);
  const char quote = bytes[key_end + 1];
  if (bytes[key_end] != '=' || !Quote::contains(quote)) return std::nullopt;
  const unsigned before_value = (2u << (key_end + 1)) - 1;  // the key, `=` and the opening quote
  const unsigned closing = (quote == '"' ? mask_of<'"'>(chunk) : mask_of<'\''>(chunk)) & ~before_value;
  if (closing == 0) return std::nullopt;
  const std::size_t value_end = first_bit(closing);
  if (value_end >= text.size() - key_offset) return std::nullopt;
  const unsigned special = non_ascii_mask_of(chunk) | mask_of<'&'>(chunk);
  const unsigned value = ((1u << value_end) - 1) & ~before_value;
  attribute.is_plain_ascii = (special & value) == 0;
  attribute.key = std::string_view(bytes, key_end);
  attribute.raw_value = std::string_view(bytes + key_end + 2, value_end - key_end - 2);
  attribute.value_offset = text_offset + key_offset + key_end + 2;
  return key_offset + value_end + 1;
}

/// `read_attribute_at` for an attribute that `read_short_attribute` does not read.
[[gnu::noinline]] inline error::Expected<std::size_t, XmlErrorKind> read_long_attribute(std::string_view text,
                                                                                      std::size_t key_offset,
                                                                                      std::size_t text_offset,
                                                                                      XmlAttribute& attribute) {
  const std::size_t key_end = find_key_end(text, key_offset);
  attribute.key = std::string_view(text.data() + key_offset, key_end - key_offset);
  return read_value_after_key(text, key_end, text_offset, attribute);
}

/// Reads the attribute whose key starts at `key_offset` of `text`, as
/// `read_value_after_key` does; `attribute.key` is set even when it fails.
inline error::Expected<std::size_t, XmlErrorKind> read_attribute_at(std::string_view text,
                                                                    std::size_t key_offset,
                                                                    std::size_t text_offset,
                                                                    XmlAttribute& attribute) {
  if (const std::optional<std::size_t> end = read_short_attribute(text, key_offset, text_offset, attribute)) {
    return *end;
  }
  return read_long_attribute(text, key_offset, text_offset, attribute);
}

/// Reads the attributes of one tag in document order, one at a time, as far as the
/// caller asks: attributes after the last one asked for are never examined. Each
/// is white space, a key up to the next white space or `=`, optional white space,
/// `=`, optional white space and a value in `'` or `"` quotes. A malformed
/// attribute and a key met twice are errors; after one, the same error repeats.
class XmlAttributeCursor {
 public:
  explicit XmlAttributeCursor(XmlAttributeList list) : list_(list) {}

  /// The next attribute, nullopt after the last, or the error of the next one.
  error::Expected<std::optional<XmlAttribute>, XmlError> next();

  // Tags have a handful of attributes: the first keys are compared one by one,
  // which needs no memory. Past that, keys go into a set whose checks cost time
  // in proportion to each key, so that a hostile tag costs time in proportion to
  // its size.
  static constexpr std::size_t KEYS_COMPARED_ONE_BY_ONE = 16;
  // A list this long can hold more keys than a set keeps in the caches. Its
  // keys are read ahead at once instead, as a `KeyBatch` (see
  // `find_first_repeat_ahead`); a shorter one goes into a `KeySet` as it is read.
  static constexpr std::size_t LIST_BYTES_READ_AHEAD = std::size_t{64} << 10;

 private:
  enum class Read { attribute, end, failed };
  /// Reads the next attribute into `attribute`, with its syntax checked but not
  /// whether its key repeats; a failure is kept in `error_`.
  Read read_attribute(XmlAttribute& attribute);
  /// Keeps the error of the attribute whose key starts at `key_offset_`.
  Read fail(XmlErrorKind kind, std::string_view key);
  /// Whether `key`, the one read last, was met before in the tag.
  bool repeats_earlier_key(std::string_view key);
  /// The offset of the first key of the list that repeats an earlier one, from
  /// the keys compared one by one and `key`, the one read last, on, up to the
  /// first malformed attribute, or npos. The caller meets that attribute's
  /// error before any key after it, and the answers for the keys before it are
  /// the same as one at a time. Keeps the shape of each attribute read.
  std::size_t find_first_repeat_ahead(std::string_view key);
  /// Reads the next attribute from the shape the read ahead kept of it.
  void read_attribute_read_ahead(XmlAttribute& attribute);

  /// How the read ahead found an attribute, so that it is handed out without
  /// being read again, two bytes for each: the white space before it and
  /// whether its value is plain, then its key's and its value's sizes, for an
  /// attribute that `read_short_attribute` reads after at most
  /// `LONGEST_SHAPED_SPACE` bytes of white space; `READ_AGAIN` for any other.
  using Shape = std::uint16_t;
  static constexpr std::size_t LONGEST_SHAPED_SPACE = 126;
  static constexpr Shape READ_AGAIN = 0xFFFF;
  static Shape short_shape(std::size_t space, const XmlAttribute& attribute);

  XmlAttributeList list_;
  std::size_t position_ = 0;
  std::size_t key_offset_ = 0;  // of the attribute read last
  std::size_t count_ = 0;
  std::array<std::string_view, KEYS_COMPARED_ONE_BY_ONE> first_keys_;
  std::optional<KeySet> many_keys_;
  std::optional<std::size_t> first_repeat_ahead_;  // once read ahead; npos if none
  std::vector<Shape> shapes_read_ahead_;            // of the attributes after the one that read ahead
  std::size_t shapes_handed_out_ = 0;
  std::optional<XmlError> error_;
};

}  // namespace quellan::tarn::pak
