#pragma once

#include <climits>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quellan::tarn::pak {

/// The attributes written in one tag, with their values as the XML reader delivers
/// them: references expanded and white space normalised. Attributes that a document
/// type declaration would add by default are not among them. Valid only during the
/// event that hands them over.
class XmlAttributes {
 public:
  /// `name_value_pairs` alternates names and values, as the reader lays them out.
  explicit XmlAttributes(std::span<const char* const> name_value_pairs)
      : pairs_(name_value_pairs) {}

  /// The value of the attribute named exactly `name`, if the tag has one.
  std::optional<std::string_view> find(std::string_view name) const;

 private:
  std::span<const char* const> pairs_;
};

/// Receives the events of one XML document in document order. An event method that
/// answers `Next::stop` ends the reading at once: no further event follows.
class XmlEventHandler {
 public:
  enum class Next { read_on, stop };

  /// A start tag that is not an empty-element tag.
  virtual Next on_start_tag(std::string_view name, XmlAttributes attributes) = 0;
  /// A tag written with "/>": one event, with no end tag of its own.
  virtual Next on_empty_element_tag(std::string_view name, XmlAttributes attributes) = 0;
  virtual Next on_end_tag(std::string_view name) = 0;
  /// The document is not well-formed or is refused; `text` is one line that says
  /// why and where. The last event.
  virtual void on_reader_error(std::string text) = 0;
  /// The whole document was read. The last event.
  virtual void on_end_of_input() = 0;

 protected:
  ~XmlEventHandler() = default;
};

/// Reads `document` (UTF-8, whatever its XML declaration says) with expat and hands
/// its tags to `handler` in order, then either the end of input or the first reader
/// error, unless the handler stops first. Text, comments, declarations and
/// processing instructions are skipped. A document without any element (empty, or
/// white space, a byte-order mark, comments and declarations only) is a plain end of
/// input. Documents that declare entities, or that depend on a document type
/// definition not in the document, are refused as reader errors, so that a reference
/// is always either expanded by XML's own rules or an error.
/// `max_chunk` bounds how many bytes expat is given at once (its lengths are `int`).
void read_xml_events(std::string_view document, XmlEventHandler& handler,
                     std::size_t max_chunk = INT_MAX);

}  // namespace quellan::tarn::pak
