#include "tarn/pak/xml_reader.h"

#include <algorithm>
#include <array>
#include <span>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <utility>

#include "tarn/pak/xml_syntax.h"

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
           !is_xml_white_space(text[end])) {
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

/// The bytes that end a key as `read_attribute_tag` reads it: white space and `=`,
/// and the quotes, `>` and `/` that only the general reading handles, and the zero
/// byte, so that a key ends in the document's padding at the latest.
constexpr std::array<bool, 256> ENDS_PLAIN_KEY = [] {
  std::array<bool, 256> ends{};
  for (const unsigned char c : std::string_view(" \t\r\n=\"'>/\0", 10)) ends[c] = true;
  return ends;
}();

enum class WantedKey { id, value, other };

/// Which of the keys that the fields are read from starts at `from`, and where
/// it ends: the two are spotted by their bytes and the byte after them, and only
/// other keys are scanned for their end.
std::pair<WantedKey, std::size_t> key_at(const char* document, std::size_t from) {
  const auto ends_key = [&](std::size_t offset) {
    return ENDS_PLAIN_KEY[static_cast<unsigned char>(document[offset])];
  };
  if (std::memcmp(document + from, "id", 2) == 0 && ends_key(from + 2)) return {WantedKey::id, from + 2};
  if (std::memcmp(document + from, "value", 5) == 0 && ends_key(from + 5)) return {WantedKey::value, from + 5};
  std::size_t end = from;
  while (!ends_key(end)) ++end;
  return {WantedKey::other, end};
}

/// Whether the plain key `key` is one of the other keys that start at `offsets`:
/// those with the same bytes that end after them.
bool is_among(std::string_view key, std::span<const std::uint32_t> offsets, const char* document) {
  return std::ranges::any_of(offsets, [&](std::uint32_t offset) {
    return std::memcmp(document + offset, key.data(), key.size()) == 0 &&
           ENDS_PLAIN_KEY[static_cast<unsigned char>(document[offset + key.size()])];
  });
}

}  // namespace

XmlReader::XmlReader(common::PaddedBytes document) : document_(document.view()) {
  if (document_.size() > std::numeric_limits<std::uint32_t>::max()) {
    error_ = XmlError{XmlErrorKind::document_too_large, 0};
  } else if (document_.starts_with(BYTE_ORDER_MARK)) {
    position_ = BYTE_ORDER_MARK.size();
  }
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

error::Expected<XmlEvent, XmlError> XmlReader::read_markup() {
  const std::string_view rest = document_.substr(position_ + 1);
  if (rest.starts_with('/')) return read_end_tag();
  if (rest.starts_with('!')) return read_bang_markup();
  if (rest.starts_with('?')) {
    return read_delimited(XmlEventKind::declaration, 2, "?>", XmlErrorKind::unclosed_declaration);
  }
  return read_start_tag();
}

error::Expected<XmlEvent, XmlError> XmlReader::read_start_tag() {
  const std::size_t name_offset = position_ + 1;
  const std::size_t end = find_tag_end(document_, name_offset);
  if (end == std::string_view::npos) return fail({XmlErrorKind::unclosed_tag, position_});
  std::string_view content = document_.substr(name_offset, end - name_offset);
  const bool empty_element = content.ends_with('/');
  if (empty_element) content.remove_suffix(1);
  const std::string_view name = name_in(content);
  if (name.empty()) return fail({XmlErrorKind::tag_without_name, position_});

  if (!empty_element) open_elements_.push(name_offset);
  position_ = end + 1;
  return XmlEvent{empty_element ? XmlEventKind::empty_element_tag : XmlEventKind::start_tag, name,
                  XmlAttributeList{content.substr(name.size()), name_offset + name.size()}};
}

error::Expected<XmlEvent, XmlError> XmlReader::read_end_tag() {
  const std::size_t name_offset = position_ + 2;
  const std::size_t end = document_.find('>', name_offset);
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

// The open element is known by where its name starts only. `name` holds no `>`,
// since an end tag stops at the first; so it is the open element's name when the
// document has the same bytes there, followed by the white space or the `>` that
// ended that name. A `>` counts only outside quotes: `<a"b>c">` is named `a"b>c"`.
bool XmlReader::innermost_name_is(std::string_view name) const {
  const std::size_t offset = *open_elements_.innermost();
  if (document_.size() - offset <= name.size()) return false;
  if (document_.compare(offset, name.size(), name) != 0) return false;
  if (find_white_space(name, 0) != std::string_view::npos) return false;
  const char after = document_[offset + name.size()];
  return is_xml_white_space(after) || (after == '>' && closes_every_quote(name));
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

error::Expected<XmlEvent, XmlError> XmlReader::read_delimited(XmlEventKind kind,
                                                              std::size_t content_from,
                                                              std::string_view end_marker,
                                                              XmlErrorKind unclosed) {
  const std::size_t start = position_ + content_from;
  const std::size_t end = start <= document_.size() ? document_.find(end_marker, start)
                                                    : std::string_view::npos;
  if (end == std::string_view::npos) return fail({unclosed, position_});
  position_ = end + end_marker.size();
  return XmlEvent{kind, document_.substr(start, end - start)};
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

// White space alone is no event, so passing it changes nothing that `next` sees.
std::size_t XmlReader::skip_to_markup() {
  position_ = skip_indentation(document_, position_);
  return position_;
}

// Reads `<attribute`, then attributes each after white space, of a key without
// quotes, `>` or `/`, white space, `=`, white space and a quoted value, then white
// space and `/>`. The first `>` outside quotes is then the last byte, so this is
// the tag that the general reading finds, with the same attributes. Bytes read
// past the document's end are its padding, which matches none of the markers.
std::optional<IdAndValue> XmlReader::read_attribute_tag() {
  static constexpr std::string_view OPENING = "<attribute";
  static constexpr std::size_t MOST_OTHER_KEYS = 14;
  if (error_) return std::nullopt;
  std::size_t i = skip_to_markup();
  if (!padded_bytes_at_are<OPENING.size()>(i, OPENING.data())) return std::nullopt;
  i += OPENING.size();
  IdAndValue found;
  // The offsets of the keys other than `id` and `value`, which `found` tells
  // whether they were met; left uninitialised, since most tags have none.
  std::array<std::uint32_t, MOST_OTHER_KEYS> other_keys;
  std::size_t other_count = 0;
  for (;;) {
    if (at(i) == '/') {
      if (at(i + 1) != '>') return std::nullopt;
      position_ = i + 2;
      return found;
    }
    if (!is_xml_white_space(at(i))) return std::nullopt;
    i = skip_white_space(document_, i);
    if (at(i) == '/') continue;
    // The document ends in padding that ends a key, so the key ends in it at most.
    const auto [wanted, key_end] = key_at(document_.data(), i);
    if (key_end == i || key_end >= document_.size()) return std::nullopt;
    const std::string_view key = document_.substr(i, key_end - i);
    std::optional<XmlAttribute>* const slot =
        wanted == WantedKey::id ? &found.id : wanted == WantedKey::value ? &found.value : nullptr;
    if (slot != nullptr) {
      if (slot->has_value()) return std::nullopt;
    } else {
      if (other_count == MOST_OTHER_KEYS ||
          is_among(key, std::span(other_keys).first(other_count), document_.data())) {
        return std::nullopt;
      }
      other_keys[other_count++] = static_cast<std::uint32_t>(i);
    }
    i = skip_white_space(document_, key_end);
    if (at(i) != '=') return std::nullopt;
    i = skip_white_space(document_, i + 1);
    if (!is_quote(at(i))) return std::nullopt;
    XmlAttribute attribute{key, {}, i + 1};
    const std::size_t value_end =
        at(i) == '"' ? find_value_end<'"'>(document_, i + 1, attribute.is_plain_ascii)
                     : find_value_end<'\''>(document_, i + 1, attribute.is_plain_ascii);
    if (value_end == std::string_view::npos) return std::nullopt;
    attribute.raw_value = document_.substr(i + 1, value_end - i - 1);
    if (slot != nullptr) *slot = attribute;
    i = value_end + 1;
  }
}

bool XmlReader::read_end_tag_of(std::string_view name) {
  if (error_ || open_elements_.empty()) return false;
  const std::size_t start = skip_to_markup();
  const std::size_t name_offset = start + 2;
  if (at(start) != '<' || at(start + 1) != '/' || std::memcmp(document_.data() + name_offset, name.data(), name.size()) != 0 ||
      at(name_offset + name.size()) != '>') {
    return false;
  }
  // The innermost element is named `name` when its name is followed by what
  // ended it; `name` holds no quote, so a `>` there ends it.
  const std::size_t open = *open_elements_.innermost();
  const char after_open = at(open + name.size());
  if (std::memcmp(document_.data() + open, name.data(), name.size()) != 0 ||
      !(is_xml_white_space(after_open) || after_open == '>')) {
    return false;
  }
  open_elements_.pop();
  position_ = name_offset + name.size() + 1;
  return true;
}

}  // namespace quellan::tarn::pak
