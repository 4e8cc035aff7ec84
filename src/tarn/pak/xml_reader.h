#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#include "common/byte_buffer.h"
#include "error/expected.h"
#include "tarn/pak/open_elements.h"
#include "tarn/pak/xml_error.h"

namespace quellan::tarn::pak {

enum class XmlEventKind {
  start_tag,
  empty_element_tag,  // written with "/>": one event, no end tag follows
  end_tag,
  text,
  cdata,
  comment,
  declaration,  // an XML declaration or a processing instruction: "<?" up to "?>"
  doctype,
  end_of_input,
};

/// The unread attribute list of a start or empty-element tag: the bytes between its
/// name and its end, and the document offset where they start. Read it with an
/// `XmlAttributeCursor`.
struct XmlAttributeList {
  std::string_view text;
  std::size_t offset = 0;
};

/// One attribute as written: its key and its value still escaped, with the
/// document offset of the value's first byte.
struct XmlAttribute {
  std::string_view key;
  std::string_view raw_value;
  std::size_t value_offset = 0;
  /// Whether the raw value is ASCII without any `&`: its own text, as is.
  bool is_plain_ascii = false;
};

/// The `id` and `value` attributes of a tag, each absent when the tag lacks it.
struct IdAndValue {
  std::optional<XmlAttribute> id;
  std::optional<XmlAttribute> value;
};

/// One event of a document. Views point into the document.
struct XmlEvent {
  XmlEventKind kind;
  /// The element name of a tag; the text, without white space at its ends; the
  /// bytes between a construct's markers (comment, CDATA, declaration, doctype).
  std::string_view content = {};
  /// Start and empty-element tags only.
  XmlAttributeList attributes = {};
};

/// A forward-only pull reader over an XML document held in memory, lenient where
/// descriptions in the wild are sloppy and strict where the metadata parser needs
/// it to be. The document is read as bytes whatever it declares: a UTF-8 byte-order
/// mark at its very start is skipped, names and text are not checked for UTF-8, and
/// a document type declaration is skipped without being interpreted. End tags must
/// match the innermost open element. Text may hold references but no bare '&'.
/// The end of input with elements still open is a plain end of input, so a
/// document cut short keeps what was read up to the cut; the end inside a tag or
/// any other construct is an error.
///
/// Reading allocates nothing but the open-element list, a few bytes per level. The
/// reader is total: after the end of input each call yields it again, after an
/// error the same error. Documents of 4 GiB or more are refused: offsets into the
/// document are kept in 32 bits where memory matters.
class XmlReader {
 public:
  explicit XmlReader(common::PaddedBytes document);

  error::Expected<XmlEvent, XmlError> next();

  // Passes specialised by what the metadata parser wants of the next tag. Each
  // reads, in one pass, only the plain and well-formed forms of its tag that
  // follow after white space; on anything else it reads nothing but that white
  // space and declines, and `next` then reads the same markup the general way to
  // the same answer.

  /// An empty-element tag named `attribute`, with its `id` and `value`. Every
  /// attribute of the tag is read and checked, repeated keys included.
  std::optional<IdAndValue> read_attribute_tag();

  /// An end tag named `name`, a few bytes without white space, `>` or quote, that
  /// closes the innermost open element. Whether it was read.
  bool read_end_tag_of(std::string_view name);

 private:
  error::Expected<XmlEvent, XmlError> read_markup();
  error::Expected<XmlEvent, XmlError> read_start_tag();
  error::Expected<XmlEvent, XmlError> read_end_tag();
  error::Expected<XmlEvent, XmlError> read_bang_markup();
  error::Expected<XmlEvent, XmlError> read_doctype();
  /// A construct from the current `<` up to `end_marker`: `content_from` bytes after
  /// the `<` its content starts.
  error::Expected<XmlEvent, XmlError> read_delimited(XmlEventKind kind, std::size_t content_from,
                                                     std::string_view end_marker,
                                                     XmlErrorKind unclosed);
  /// The text from here to the next `<`, or an error for a bad reference in it.
  error::Expected<std::string_view, XmlError> read_text();
  bool innermost_name_is(std::string_view name) const;
  std::string_view name_at(std::size_t offset) const;
  std::unexpected<XmlError> fail(XmlError error);
  /// Passes the white space before the next markup, as `next` would.
  std::size_t skip_to_markup();
  // Reads within the document's padding: at most a few bytes past its end.
  char at(std::size_t offset) const { return document_.data()[offset]; }
  template <std::size_t Count>
  bool padded_bytes_at_are(std::size_t offset, const char* bytes) const {
    static_assert(Count <= common::ByteBuffer::SLACK);
    return std::memcmp(document_.data() + offset, bytes, Count) == 0;
  }

  std::string_view document_;
  std::size_t position_ = 0;
  OpenElements open_elements_;
  std::optional<XmlError> error_;
};

}  // namespace quellan::tarn::pak
