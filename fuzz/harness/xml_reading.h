#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/byte_buffer.h"
#include "common/utf8.h"
#include "tarn/pak/xml_attributes.h"
#include "tarn/pak/xml_reader.h"
#include "tarn/pak/xml_unescape.h"

namespace quellan::fuzz {

/// Everything the XML reader gives for one document: every event, every attribute
/// of every tag and every value unescaped, checked against the reader's promises
/// on the way.
struct XmlReading {
  /// The elements as "start NAME" (with " KEY=VALUE" per attribute) and "end NAME"
  /// lines; an empty-element tag gives both, as a conforming reader reports it.
  std::vector<std::string> elements;
  /// Whether the reader, an attribute cursor or an unescaping failed.
  bool failed = false;
  /// Whether a raw attribute value holds a literal tab, CR or LF.
  bool value_holds_line_white_space = false;
  std::optional<std::string> violation;
};

namespace xml_reading_detail {

using tarn::pak::XmlAttribute;
using tarn::pak::XmlAttributeCursor;
using tarn::pak::XmlAttributeList;
using tarn::pak::XmlError;
using tarn::pak::XmlEvent;
using tarn::pak::XmlEventKind;
using tarn::pak::XmlReader;

class Walk {
 public:
  explicit Walk(const common::ByteBuffer& document) : document_(document.view()), reader_(document) {}

  XmlReading run() && {
    XmlReader& reader = reader_;
    for (;;) {
      auto event = reader.next();
      if (!event) {
        check_error(event.error());
        auto again = reader.next();
        if (again || again.error().message() != event.error().message()) note("an error that does not repeat");
        reading_.failed = true;
        break;
      }
      if (event->kind == XmlEventKind::end_of_input) {
        auto again = reader.next();
        if (!again || again->kind != XmlEventKind::end_of_input) note("an end that does not repeat");
        break;
      }
      take(*event);
    }
    return std::move(reading_);
  }

 private:
  void take(const XmlEvent& event) {
    check_inside(event.content);
    if (event.content.data() < last_content_) note("an event before the one read earlier");
    last_content_ = event.content.data();
    switch (event.kind) {
      case XmlEventKind::start_tag:
        reading_.elements.push_back("start " + std::string(event.content) + attributes_of(event.attributes));
        break;
      case XmlEventKind::empty_element_tag:
        reading_.elements.push_back("start " + std::string(event.content) + attributes_of(event.attributes));
        reading_.elements.push_back("end " + std::string(event.content));
        break;
      case XmlEventKind::end_tag:
        reading_.elements.push_back("end " + std::string(event.content));
        break;
      case XmlEventKind::text:
      case XmlEventKind::cdata:
      case XmlEventKind::comment:
      case XmlEventKind::declaration:
      case XmlEventKind::doctype:
      case XmlEventKind::end_of_input:
        break;
    }
  }

  std::string attributes_of(XmlAttributeList list) {
    check_inside(list.text);
    if (list.text.data() != document_.data() + list.offset) note("an attribute list offset that is off");
    std::string text;
    std::string buffer;
    XmlAttributeCursor cursor(list);
    for (;;) {
      auto attribute = cursor.next();
      if (!attribute) {
        check_error(attribute.error());
        reading_.failed = true;
        return text;
      }
      if (!*attribute) return text;
      check_attribute(**attribute);
      auto value = unescape(**attribute, buffer);
      if (!value) {
        check_error(value.error());
        reading_.failed = true;
        continue;
      }
      if (!common::is_well_formed_utf8(*value)) note("an unescaped value that is not UTF-8");
      text += " " + std::string((*attribute)->key) + "=" + std::string(*value);
    }
  }

  void check_attribute(const XmlAttribute& attribute) {
    check_inside(attribute.key);
    check_inside(attribute.raw_value);
    if (attribute.raw_value.data() != document_.data() + attribute.value_offset) {
      note("a value offset that is off");
    }
    if (attribute.raw_value.find_first_of("\t\r\n") != std::string_view::npos) {
      reading_.value_holds_line_white_space = true;
    }
  }

  void check_error(const XmlError& error) {
    const std::string message = error.message();
    // Two quotes of at most 40 bytes, each shown in up to four characters, and words.
    constexpr std::size_t LONGEST_MESSAGE = 512;
    if (message.empty() || message.size() > LONGEST_MESSAGE || message.find('\n') != std::string::npos) {
      note("an error text that is not one short line");
    }
    if (error.offset > document_.size()) note("an error beyond the document");
  }

  void check_inside(std::string_view view) {
    const bool inside = view.data() >= document_.data() &&
                        view.data() + view.size() <= document_.data() + document_.size();
    if (!inside && !view.empty()) note("a view outside the document");
  }

  void note(const char* violation) {
    if (!reading_.violation) reading_.violation = violation;
  }

  std::string_view document_;
  XmlReader reader_;
  const char* last_content_ = nullptr;
  XmlReading reading_;
};

}  // namespace xml_reading_detail

inline XmlReading read_xml(std::string_view document) {
  // A buffer of its own, padded as extracted descriptions are, so that the
  // sanitizers see any read past its slack.
  const common::ByteBuffer padded = common::ByteBuffer::copy_of(document).value();
  return xml_reading_detail::Walk(padded).run();
}

/// The reader alone: every event, every attribute and every unescaping, against
/// the reader's promises. Returns the first broken promise, if any.
inline std::optional<std::string> read_xml_input(std::string_view bytes) {
  return read_xml(bytes).violation;
}

}  // namespace quellan::fuzz
