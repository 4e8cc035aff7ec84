#include "tarn/pak/xml_events.h"

#include <expat.h>

#include <algorithm>
#include <memory>
#include <type_traits>

namespace quellan::tarn::pak {

std::optional<std::string_view> XmlAttributes::find(std::string_view name) const {
  for (std::size_t i = 0; i + 1 < pairs_.size(); i += 2) {
    if (pairs_[i] == name) return std::string_view(pairs_[i + 1]);
  }
  return std::nullopt;
}

namespace {

struct ParserFree {
  void operator()(XML_Parser parser) const noexcept { XML_ParserFree(parser); }
};
using ParserHandle = std::unique_ptr<std::remove_pointer_t<XML_Parser>, ParserFree>;

std::string at_position(XML_Parser parser) {
  return " at line " + std::to_string(XML_GetCurrentLineNumber(parser)) + ", column " +
         std::to_string(XML_GetCurrentColumnNumber(parser));
}

std::string describe_error(XML_Parser parser) {
  const XML_Char* description = XML_ErrorString(XML_GetErrorCode(parser));
  return std::string(description ? description : "unknown error") + at_position(parser);
}

/// The callback state of one reading: lives on the stack of `read_xml_events` and
/// reaches the callbacks as expat's user data.
class Reading {
 public:
  Reading(XML_Parser parser, std::string_view document, XmlEventHandler& handler)
      : parser_(parser), document_(document), handler_(handler) {}

  void start_element(const XML_Char* name, const XML_Char** name_value_pairs) {
    if (stopped()) return;  // expat may still call after a stop
    saw_element_ = true;
    const auto specified = static_cast<std::size_t>(XML_GetSpecifiedAttributeCount(parser_));
    XmlAttributes attributes(std::span<const char* const>(name_value_pairs, specified));
    if (current_tag_is_empty_element()) {
      // expat follows this start with an end of its own; the empty-element event
      // stands for both.
      skip_next_end_ = true;
      follow(handler_.on_empty_element_tag(name, attributes));
    } else {
      follow(handler_.on_start_tag(name, attributes));
    }
  }

  void end_element(const XML_Char* name) {
    if (stopped()) return;
    if (skip_next_end_) {
      skip_next_end_ = false;
      return;
    }
    follow(handler_.on_end_tag(name));
  }

  void refuse(std::string_view why) {
    refusal_ = std::string(why) + at_position(parser_);
    XML_StopParser(parser_, XML_FALSE);
  }

  /// Hands the handler its last event, given how expat's parse ended.
  void finish(XML_Status status) {
    if (handler_stopped_) return;
    if (refusal_) {
      handler_.on_reader_error(std::move(*refusal_));
    } else if (status == XML_STATUS_OK || is_document_without_elements()) {
      handler_.on_end_of_input();
    } else {
      handler_.on_reader_error(describe_error(parser_));
    }
  }

 private:
  bool stopped() const { return handler_stopped_ || refusal_; }

  void follow(XmlEventHandler::Next next) {
    if (next == XmlEventHandler::Next::read_on) return;
    handler_stopped_ = true;
    XML_StopParser(parser_, XML_FALSE);
  }

  // expat reports both kinds of start tag alike; the raw bytes of the tag tell them
  // apart: only an empty-element tag ends with "/>".
  bool current_tag_is_empty_element() const {
    const XML_Index start = XML_GetCurrentByteIndex(parser_);
    const int length = XML_GetCurrentByteCount(parser_);
    if (start < 0 || length < 0 || static_cast<std::size_t>(start) > document_.size()) {
      return false;
    }
    return document_.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(length))
        .ends_with("/>");
  }

  // expat calls a document without a root element "no element found", the same
  // error as for input ending inside open elements; only the first is plain input.
  bool is_document_without_elements() const {
    return !saw_element_ && XML_GetErrorCode(parser_) == XML_ERROR_NO_ELEMENTS;
  }

  XML_Parser parser_;
  std::string_view document_;
  XmlEventHandler& handler_;
  bool saw_element_ = false;
  bool skip_next_end_ = false;
  bool handler_stopped_ = false;
  std::optional<std::string> refusal_;
};

void XMLCALL on_start_element(void* reading, const XML_Char* name, const XML_Char** attributes) {
  static_cast<Reading*>(reading)->start_element(name, attributes);
}

void XMLCALL on_end_element(void* reading, const XML_Char* name) {
  static_cast<Reading*>(reading)->end_element(name);
}

// Refusing declarations closes the door on entity-expansion attacks and on entities
// that would stand for anything but their XML-predefined meaning.
void XMLCALL on_entity_declaration(void* reading, const XML_Char*, int, const XML_Char*, int,
                                   const XML_Char*, const XML_Char*, const XML_Char*,
                                   const XML_Char*) {
  static_cast<Reading*>(reading)->refuse("document declares an entity, which is refused");
}

// A document that refers to an external or parameter-entity DTD would make expat drop
// undefined references from attribute values silently; failing on it (expat's "document
// is not standalone") keeps every unknown reference an error.
int XMLCALL on_not_standalone(void*) { return XML_STATUS_ERROR; }

XML_Status parse_in_chunks(XML_Parser parser, std::string_view document, std::size_t max_chunk) {
  const std::size_t chunk = std::clamp<std::size_t>(max_chunk, 1, INT_MAX);
  while (document.size() > chunk) {
    if (XML_Parse(parser, document.data(), static_cast<int>(chunk), XML_FALSE) != XML_STATUS_OK) {
      return XML_STATUS_ERROR;
    }
    document.remove_prefix(chunk);
  }
  return XML_Parse(parser, document.data(), static_cast<int>(document.size()), XML_TRUE);
}

}  // namespace

void read_xml_events(std::string_view document, XmlEventHandler& handler, std::size_t max_chunk) {
  ParserHandle parser(XML_ParserCreate("UTF-8"));
  if (!parser) return handler.on_reader_error(XML_ErrorString(XML_ERROR_NO_MEMORY));
  Reading reading(parser.get(), document, handler);
  XML_SetUserData(parser.get(), &reading);
  XML_SetElementHandler(parser.get(), on_start_element, on_end_element);
  XML_SetEntityDeclHandler(parser.get(), on_entity_declaration);
  XML_SetNotStandaloneHandler(parser.get(), on_not_standalone);
  reading.finish(parse_in_chunks(parser.get(), document, max_chunk));
}

}  // namespace quellan::tarn::pak
