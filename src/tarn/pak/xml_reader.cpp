#include "tarn/pak/xml_reader.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>
#include <utility>

#include "tarn/pak/xml_byte_scan.h"

namespace quellan::tarn::pak {

namespace {

constexpr std::string_view BYTE_ORDER_MARK = "\xEF\xBB\xBF";
constexpr std::string_view DOCTYPE = "DOCTYPE";

bool starts_with_ignoring_case(std::string_view text, std::string_view upper_case_prefix) {
  if (text.size() < upper_case_prefix.size()) return false;
  return std::ranges::equal(text.substr(0, upper_case_prefix.size()), upper_case_prefix,
                            [](char c, char upper) { return (c & ~0x20) == upper; });
}

/// Whether each `&` of `text` begins a reference: `&`, one or more bytes none of
/// which is white space, `&` or `;`, then `;`. Returns the offset of the first
/// that does not, or npos.
std::size_t find_bad_reference(std::string_view text) {
  std::size_t amp = text.find('&');
  while (amp != std::string_view::npos) {
    std::size_t end = amp + 1;
    while (end < text.size() && text[end] != ';' && text[end] != '&' &&
           !is_white_space(text[end])) {
      ++end;
    }
    if (end == text.size() || text[end] != ';' || end == amp + 1) return amp;
    amp = text.find('&', end + 1);
  }
  return std::string_view::npos;
}

/// The name in a tag's `content`: all of it up to the first white space.
std::string_view name_in(std::string_view content) {
  return content.substr(0, find_white_space(content, 0));
}

/// `text` without white space at its end.
std::string_view trim_xml_white_space_end(std::string_view text) {
  while (!text.empty() && is_white_space(text.back())) text.remove_suffix(1);
  return text;
}

/// Whether `text` leaves no quote open, reading quotes as `find_tag_end` does.
bool closes_every_quote(std::string_view text) {
  char open_quote = 0;
  for (const char c : text) {
    if (open_quote == 0 && Quote::contains(c)) {
      open_quote = c;
    } else if (c == open_quote) {
      open_quote = 0;
    }
  }
  return open_quote == 0;
}

}  // namespace

void OpenElements::push_far(std::size_t distance) {
  std::uint8_t marker = FIRST_GROUP;
  do {
    distances_.push_back(static_cast<std::uint8_t>(marker | (distance & GROUP_BITS)));
    distance >>= 7;
    marker = 0;
  } while (distance != 0);
}

void OpenElements::pop_far() {
  if (!innermost_) std::abort();  // a caller bug, not a document fault
  std::size_t first = distances_.size() - 1;
  while ((distances_[first] & FIRST_GROUP) == 0) --first;
  std::size_t distance = 0;
  for (std::size_t i = distances_.size(); i-- > first;) {
    distance = (distance << 7) | (distances_[i] & GROUP_BITS);
  }
  distances_.resize(first);
  if (distances_.empty()) {
    innermost_.reset();
  } else {
    *innermost_ -= distance;
  }
}

XmlReader::XmlReader(common::PaddedBytes document) : document_(document.view()) {
  if (document_.size() > std::numeric_limits<std::uint32_t>::max()) {
    error_ = XmlError{XmlErrorKind::document_too_large, 0};
  } else if (document_.starts_with(BYTE_ORDER_MARK)) {
    position_ = BYTE_ORDER_MARK.size();
  }
}

inline error::Expected<XmlEvent, XmlError> XmlReader::read_delimited(XmlEventKind kind,
                                                              std::size_t content_from,
                                                              std::string_view end_marker,
                                                              XmlErrorKind unclosed) {
  const std::size_t start = position_ + content_from;
  const std::size_t end = find_marker(document_, start, end_marker);
  if (end == std::string_view::npos) return fail({unclosed, position_});
  position_ = end + end_marker.size();
  return XmlEvent{kind, document_.substr(start, end - start)};
}

inline error::Expected<XmlEvent, XmlError> XmlReader::read_markup() {
  // The document is padded with zeros: the byte after a last `<` may be read.
  switch (document_.data()[position_ + 1]) {
    case '/':
      return read_end_tag();
    case '!':
      return read_bang_markup();
    case '?':
      return read_delimited(XmlEventKind::declaration, 2, "?>", XmlErrorKind::unclosed_declaration);
    default:
      return read_start_tag();
  }
}

// Most text is the indentation between tags: white space up to the next `<`,
// passed over once; the white space it starts with holds no reference to check.
error::Expected<std::string_view, XmlError> XmlReader::read_text() {
  const std::size_t start = skip_indentation(document_, position_);
  position_ = start;
  if (start == document_.size() || document_[start] == '<') return std::string_view();
  const std::size_t end = std::min(document_.find('<', start), document_.size());
  const std::string_view text = document_.substr(start, end - start);
  if (const std::size_t bad = find_bad_reference(text); bad != std::string_view::npos) {
    return std::unexpected(XmlError{XmlErrorKind::reference_in_text, start + bad});
  }
  position_ = end;
  return trim_xml_white_space_end(text);
}

// Most names end at white space or at the tag's end, before any quote or `/`:
// one search then finds the name's end, and the tag's end too when it has no
// attributes. A name that holds a quote or a `/` is bounded the long way.
inline std::optional<XmlReader::TagBounds> XmlReader::find_start_tag_bounds(
    std::size_t name_offset) const {
  const std::size_t stop = find_first_in<NameEnd::With<'/'>>(document_, name_offset);
  if (stop == std::string_view::npos) return std::nullopt;  // no `>` follows at all
  if (document_[stop] == '>') return TagBounds{stop, stop};
  return find_start_tag_bounds_after(name_offset, stop);
}

std::optional<XmlReader::TagBounds> XmlReader::find_start_tag_bounds_after(std::size_t name_offset,
                                                                          std::size_t stop) const {
  const char at_stop = document_[stop];
  if (at_stop == '/' && document_.data()[stop + 1] == '>') return TagBounds{stop, stop + 1};
  if (is_white_space(at_stop)) {
    const std::size_t end = find_tag_end(document_, stop);
    if (end == std::string_view::npos) return std::nullopt;
    return TagBounds{stop, end};
  }
  const std::size_t end = find_tag_end(document_, name_offset);
  if (end == std::string_view::npos) return std::nullopt;
  std::string_view content = document_.substr(name_offset, end - name_offset);
  if (content.ends_with('/')) content.remove_suffix(1);
  return TagBounds{name_offset + name_in(content).size(), end};
}

inline error::Expected<XmlEvent, XmlError> XmlReader::read_start_tag() {
  const std::size_t name_offset = position_ + 1;
  const std::optional<TagBounds> bounds = find_start_tag_bounds(name_offset);
  if (!bounds) return fail({XmlErrorKind::unclosed_tag, position_});
  const auto [name_end, end] = *bounds;
  if (name_end == name_offset) return fail({XmlErrorKind::tag_without_name, position_});
  const bool empty_element = document_[end - 1] == '/';
  if (!empty_element) open_elements_.push(name_offset);
  position_ = end + 1;
  // Views made from bounds just found, without `substr`'s checks.
  const char* const bytes = document_.data();
  return XmlEvent{empty_element ? XmlEventKind::empty_element_tag : XmlEventKind::start_tag,
                  std::string_view(bytes + name_offset, name_end - name_offset),
                  XmlAttributeList{std::string_view(bytes + name_end, end - empty_element - name_end), name_end}};
}

// Most end tags are written `</name>` with a name of less than a chunk: one
// chunk finds its end. A longer name is read the long way.
inline std::optional<std::size_t> XmlReader::find_plain_end_tag_end(std::size_t name_offset) const {
  const Chunk name = load_chunk(document_.data() + name_offset);
  const unsigned name_ends = NameEnd::mask_in(name);
  const std::size_t size = first_bit(name_ends);
  const std::size_t end = name_offset + size;
  if (name_ends == 0 || size == 0 || end >= document_.size() || document_.data()[end] != '>' ||
      !closes_innermost(size, [&](const char* open) {
        return (~equal_mask_of(name, load_chunk(open)) & low_bits(size)) == 0;
      })) {
    return std::nullopt;
  }
  return end;
}

inline error::Expected<XmlEvent, XmlError> XmlReader::read_end_tag() {
  const std::size_t name_offset = position_ + 2;
  if (const std::optional<std::size_t> end = find_plain_end_tag_end(name_offset)) {
    open_elements_.pop();
    position_ = *end + 1;
    return XmlEvent{XmlEventKind::end_tag, std::string_view(document_.data() + name_offset, *end - name_offset)};
  }
  return read_end_tag_the_long_way();
}

error::Expected<XmlEvent, XmlError> XmlReader::read_end_tag_the_long_way() {
  const std::size_t name_offset = position_ + 2;
  const std::size_t end = find_any_of<'>'>(document_, name_offset);
  if (end == std::string_view::npos) return fail({XmlErrorKind::unclosed_tag, position_});
  const std::string_view name =
      trim_xml_white_space_end(document_.substr(name_offset, end - name_offset));
  if (name.empty()) return fail({XmlErrorKind::end_tag_without_name, position_});
  if (open_elements_.empty()) {
    return fail({XmlErrorKind::end_tag_without_open_element, position_, name});
  }
  if (!innermost_name_is(name)) {
    return fail({XmlErrorKind::mismatched_end_tag, position_,
                 name_at(*open_elements_.innermost()), name});
  }
  open_elements_.pop();
  position_ = end + 1;
  return XmlEvent{XmlEventKind::end_tag, name};
}

error::Expected<XmlEvent, XmlError> XmlReader::next() {
  if (error_) return std::unexpected(*error_);
  while (position_ < document_.size()) {
    if (document_[position_] == '<') return read_markup();
    error::Expected<std::string_view, XmlError> text = read_text();
    if (!text) return fail(text.error());
    // Text that is white space only is no event: it is the indentation of the
    // document, and nobody reads text anyway.
    if (!text->empty()) return XmlEvent{XmlEventKind::text, *text};
  }
  return XmlEvent{XmlEventKind::end_of_input};
}

// `name` holds no `>`, since an end tag stops at the first, and the white space
// that ends it was trimmed. A name that holds white space names no element; a
// `>` after the open element's name counts only outside quotes: `<a"b>c">` is
// named `a"b>c"`.
bool XmlReader::innermost_name_is(std::string_view name) const {
  if (!closes_innermost(name) || find_white_space(name, 0) != std::string_view::npos) return false;
  return document_[*open_elements_.innermost() + name.size()] != '>' ||
         find_first_in<Quote>(name, 0) == std::string_view::npos || closes_every_quote(name);
}

std::string_view XmlReader::name_at(std::size_t offset) const {
  const std::size_t tag_end = find_tag_end(document_, offset);
  return name_in(document_.substr(offset, tag_end - offset));
}

error::Expected<XmlEvent, XmlError> XmlReader::read_bang_markup() {
  const std::string_view rest = document_.substr(position_ + 2);
  if (rest.starts_with("--")) {
    return read_delimited(XmlEventKind::comment, 4, "-->", XmlErrorKind::unclosed_comment);
  }
  if (rest.starts_with("[CDATA[")) {
    return read_delimited(XmlEventKind::cdata, 9, "]]>", XmlErrorKind::unclosed_cdata);
  }
  if (starts_with_ignoring_case(rest, DOCTYPE)) return read_doctype();
  return fail({XmlErrorKind::unknown_markup, position_});
}

// Skipped whole without interpreting anything: each `<` inside opens a level that
// a `>` closes, so an internal subset in brackets ends where it should.
error::Expected<XmlEvent, XmlError> XmlReader::read_doctype() {
  const std::size_t start = position_ + 2 + DOCTYPE.size();
  std::size_t depth = 1;
  for (std::size_t i = start; i < document_.size(); ++i) {
    const char c = document_[i];
    if (c == '<') {
      ++depth;
    } else if (c == '>' && --depth == 0) {
      position_ = i + 1;
      return XmlEvent{XmlEventKind::doctype, document_.substr(start, i - start)};
    }
  }
  return fail({XmlErrorKind::unclosed_doctype, position_});
}

std::unexpected<XmlError> XmlReader::fail(XmlError error) {
  error_ = error;
  return std::unexpected(error);
}

// The caller read the tag's name, so it has one; no quote is open where it
// stopped, so the first `>` outside quotes from there is the one `next` finds.
// A caller mostly stops at the `>` that ends the tag. The document is padded,
// so the byte there may be looked at before its end is known.
std::optional<XmlEventKind> XmlReader::finish_tag(std::size_t start, std::size_t read_up_to) {
  const std::size_t end = document_.data()[read_up_to] == '>' ? read_up_to : find_tag_end(document_, read_up_to);
  if (end == std::string_view::npos) return std::nullopt;
  position_ = end + 1;
  if (document_[end - 1] == '/') return XmlEventKind::empty_element_tag;
  open_elements_.push(start + 1);
  return XmlEventKind::start_tag;
}

}  // namespace quellan::tarn::pak
