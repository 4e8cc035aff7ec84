#pragma once

#include <cstddef>
#include <cstdint>
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

  std::string_view document_;
  std::size_t position_ = 0;
  OpenElements open_elements_;
  std::optional<XmlError> error_;
};

}  // namespace quellan::tarn::pak
