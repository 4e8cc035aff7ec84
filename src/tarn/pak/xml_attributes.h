#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "common/little_endian.h"
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

/// The `=` and the opening quote between a key and its value, the way nearly
/// every attribute is written: `key="value"`.
inline constexpr std::size_t EQUALS_AND_QUOTE = 2;

/// Where the value of the attribute whose key ends at `key_end` of `text` starts,
/// just past its opening quote, or what is wrong with the attribute before it.
inline error::Expected<std::size_t, XmlErrorKind> find_value_start(std::string_view text, std::size_t key_end) {
  std::size_t i = skip_white_space(text, key_end);
  if (i == text.size() || text[i] != '=') return std::unexpected(XmlErrorKind::attribute_without_equals);
  i = skip_white_space(text, i + 1);
  if (i == text.size()) return std::unexpected(XmlErrorKind::attribute_without_value);
  if (!Quote::contains(text[i])) return std::unexpected(XmlErrorKind::unquoted_attribute_value);
  return i + 1;
}

/// Reads the attribute of `text` whose key runs from `key_offset` to `key_end`
/// and that is written as most are, `key="value"`, into `attribute`, with `text`
/// at `text_offset` of its document. The offset just past the value's closing
/// quote, or nullopt when the text ends first.
inline std::optional<std::size_t> read_written_so(std::string_view text, std::size_t text_offset,
                                                  std::size_t key_offset, std::size_t key_end,
                                                  XmlAttribute& attribute) {
  attribute.key = std::string_view(text.data() + key_offset, key_end - key_offset);
  const std::size_t value_start = key_end + EQUALS_AND_QUOTE;
  const std::size_t value_end = find_value_end<'"'>(text, value_start, attribute.is_plain_ascii);
  if (value_end == std::string_view::npos) return std::nullopt;
  attribute.raw_value = std::string_view(text.data() + value_start, value_end - value_start);
  attribute.value_offset = text_offset + value_start;
  return value_end + 1;
}

/// Reads the attribute of `text` whose key runs from `key_offset` to `key_end`,
/// where a byte that ends a key or the end of `text` lies, into `attribute`,
/// with `text` at `text_offset` of its document. The offset just past the
/// value's closing quote, or nullopt for an attribute that `attribute_error`
/// tells what is wrong with.
inline std::optional<std::size_t> read_attribute(std::string_view text, std::size_t text_offset,
                                                 std::size_t key_offset, std::size_t key_end,
                                                 XmlAttribute& attribute) {
  // The byte after `text` is the document's padding or the `/` or `>` that ends
  // the tag: never an `=` or a quote.
  const std::uint64_t after_key = low_bytes(load_word(text.data() + key_end), EQUALS_AND_QUOTE);
  if (after_key == little_endian_word("=\"")) [[likely]] {
    return read_written_so(text, text_offset, key_offset, key_end, attribute);
  }
  std::size_t value_start = key_end + EQUALS_AND_QUOTE;
  if (after_key != little_endian_word("='")) {
    const error::Expected<std::size_t, XmlErrorKind> spaced_start = find_value_start(text, key_end);
    if (!spaced_start) return std::nullopt;
    value_start = *spaced_start;
  }
  const std::size_t value_end = text[value_start - 1] == '"'
                                    ? find_value_end<'"'>(text, value_start, attribute.is_plain_ascii)
                                    : find_value_end<'\''>(text, value_start, attribute.is_plain_ascii);
  if (value_end == std::string_view::npos) return std::nullopt;
  attribute.key = std::string_view(text.data() + key_offset, key_end - key_offset);
  attribute.raw_value = std::string_view(text.data() + value_start, value_end - value_start);
  attribute.value_offset = text_offset + value_start;
  return value_end + 1;
}

/// `read_attribute` for the key that starts at `key_offset` of `text`.
inline std::optional<std::size_t> read_attribute(std::string_view text, std::size_t text_offset,
                                                 std::size_t key_offset, XmlAttribute& attribute) {
  // Keys are short: nearly all end within the chunk that starts them.
  const unsigned key_ends = KeyEnd::mask_in(load_chunk(text.data() + key_offset));
  const std::size_t key_end = key_ends != 0 ? std::min(key_offset + first_bit(key_ends), text.size())
                                            : key_offset + key_at(text, key_offset).size();
  return read_attribute(text, text_offset, key_offset, key_end, attribute);
}

/// What is wrong with the attribute whose key ends at `key_end` of `text`, one
/// that `read_attribute` declined.
XmlErrorKind attribute_error(std::string_view text, std::size_t key_end);

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
  /// Keeps the error of the attribute whose key starts at `key_offset_`, and gives it.
  std::unexpected<XmlError> fail(XmlErrorKind kind, std::string_view key);
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
  static Shape shape_of(std::size_t space, const XmlAttribute& attribute);
  /// Reads the next attribute into `attribute` from the shape the read ahead
  /// kept of it. Whether it kept one.
  bool read_shaped(XmlAttribute& attribute);

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
