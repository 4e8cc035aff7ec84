#pragma once

#include <expat.h>

#include <climits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "xml_reading.h"

namespace quellan::fuzz {

namespace xml_differential_detail {

struct ParserFree {
  void operator()(XML_Parser parser) const noexcept { XML_ParserFree(parser); }
};
using ParserHandle = std::unique_ptr<std::remove_pointer_t<XML_Parser>, ParserFree>;

/// What expat, a conforming XML 1.0 reader, makes of a document.
struct ExpatReading {
  bool accepted = false;
  bool has_doctype = false;
  std::vector<std::string> elements;
};

void XMLCALL on_start(void* reading, const XML_Char* name, const XML_Char** attributes) {
  std::string line = "start " + std::string(name);
  for (; attributes[0] != nullptr; attributes += 2) {
    line += " " + std::string(attributes[0]) + "=" + std::string(attributes[1]);
  }
  static_cast<ExpatReading*>(reading)->elements.push_back(std::move(line));
}

void XMLCALL on_end(void* reading, const XML_Char* name) {
  static_cast<ExpatReading*>(reading)->elements.push_back("end " + std::string(name));
}

void XMLCALL on_doctype(void* reading, const XML_Char*, const XML_Char*, const XML_Char*, int) {
  static_cast<ExpatReading*>(reading)->has_doctype = true;
}

inline ExpatReading read_with_expat(std::string_view document) {
  ExpatReading reading;
  if (document.size() > INT_MAX) return reading;
  // The encoding is fixed as the metadata reader reads it: UTF-8, whatever is declared.
  ParserHandle parser(XML_ParserCreate("UTF-8"));
  if (!parser) return reading;
  XML_SetUserData(parser.get(), &reading);
  XML_SetElementHandler(parser.get(), on_start, on_end);
  XML_SetStartDoctypeDeclHandler(parser.get(), on_doctype);
  reading.accepted = XML_Parse(parser.get(), document.data(), static_cast<int>(document.size()),
                               XML_TRUE) == XML_STATUS_OK;
  return reading;
}

}  // namespace xml_differential_detail

/// What comparing the two readers on one document showed.
struct Comparison {
  /// Whether the document is one both must agree on.
  bool comparable = false;
  std::optional<std::string> violation;
};

/// Our reader against expat. On every document that expat accepts as standalone,
/// without a document type declaration, and with no literal tab, CR or LF inside an
/// attribute value (expat turns those into spaces, as XML asks), both must see the
/// same elements, names and unescaped attribute values, and ours no error.
inline Comparison compare_with_expat(std::string_view bytes) {
  const XmlReading ours = read_xml(bytes);
  if (ours.violation) return {false, ours.violation};
  const auto theirs = xml_differential_detail::read_with_expat(bytes);
  if (!theirs.accepted || theirs.has_doctype || ours.value_holds_line_white_space) return {};
  if (ours.failed) return {true, "an error on a document that expat accepts"};
  if (ours.elements != theirs.elements) return {true, "other elements or values than expat's"};
  return {true, std::nullopt};
}

inline std::optional<std::string> compare_with_expat_input(std::string_view bytes) {
  return compare_with_expat(bytes).violation;
}

}  // namespace quellan::fuzz
