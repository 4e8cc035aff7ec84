#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "error/expected.h"
#include "tarn/pak/key_set.h"
#include "tarn/pak/xml_error.h"
#include "tarn/pak/xml_reader.h"

namespace quellan::tarn::pak {

/// Reads the attribute whose key starts at `key_offset` of `text`, which lies at
/// `text_offset` of the document: a key up to the next white space or `=`,
/// optional white space, `=`, optional white space and a value in `'` or `"`
/// quotes. Gives the offset just past the value's closing quote, or what is
/// wrong; `attribute.key` is set either way. The one grammar of attributes, for
/// the cursor and for passes that read a tag of their own. `text` lies in a
/// `common::PaddedBytes` document.
error::Expected<std::size_t, XmlErrorKind> read_attribute_at(std::string_view text,
                                                             std::size_t key_offset,
                                                             std::size_t text_offset,
                                                             XmlAttribute& attribute);

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

 private:
  enum class Read { attribute, end, failed };
  /// Reads the next attribute into `attribute`, with its syntax checked but not
  /// whether its key repeats; a failure is kept in `error_`.
  Read read_attribute(XmlAttribute& attribute);
  /// Keeps the error of the attribute whose key starts at `key_offset_`.
  Read fail(XmlErrorKind kind, std::string_view key);
  /// Whether `key`, the one read last, was met before in the tag.
  bool repeats_earlier_key(std::string_view key);

  XmlAttributeList list_;
  std::size_t position_ = 0;
  std::size_t key_offset_ = 0;  // of the attribute read last
  std::size_t count_ = 0;
  std::array<std::string_view, KEYS_COMPARED_ONE_BY_ONE> first_keys_;
  std::optional<KeySet> many_keys_;
  std::optional<XmlError> error_;
};

}  // namespace quellan::tarn::pak
