#include "tarn/pak/xml_unescape.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

#include "common/utf8.h"

namespace quellan::tarn::pak {

namespace {

struct PredefinedEntity {
  std::string_view name;
  char replacement;
};

constexpr std::array<PredefinedEntity, 5> PREDEFINED_ENTITIES{{
    {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"apos", '\''}, {"quot", '"'}}};

constexpr char32_t LAST_CODE_POINT = 0x10FFFF;

std::optional<unsigned> digit_value(char c, unsigned base) {
  unsigned value = 16;
  if (c >= '0' && c <= '9') {
    value = static_cast<unsigned>(c - '0');
  } else if (base == 16 && c >= 'a' && c <= 'f') {
    value = static_cast<unsigned>(c - 'a' + 10);
  } else if (base == 16 && c >= 'A' && c <= 'F') {
    value = static_cast<unsigned>(c - 'A' + 10);
  }
  if (value >= base) return std::nullopt;
  return value;
}

/// The code point that `digits` spell in `base`, saturated above U+10FFFF so that
/// any number of leading zeros or digits is read without overflow; nullopt when
/// there are no digits or one is not a digit.
std::optional<char32_t> read_code_point(std::string_view digits, unsigned base) {
  if (digits.empty()) return std::nullopt;
  char32_t code_point = 0;
  for (const char c : digits) {
    const std::optional<unsigned> digit = digit_value(c, base);
    if (!digit) return std::nullopt;
    code_point = std::min<char32_t>(code_point * base + *digit, LAST_CODE_POINT + 1);
  }
  return code_point;
}

bool is_scalar_value(char32_t code_point) {
  return code_point <= LAST_CODE_POINT && (code_point < 0xD800 || code_point > 0xDFFF);
}

/// What the reference `&name;` stands for, or the error for it.
error::Expected<char32_t, XmlErrorKind> reference_value(std::string_view name) {
  for (const PredefinedEntity& entity : PREDEFINED_ENTITIES) {
    if (name == entity.name) return static_cast<char32_t>(entity.replacement);
  }
  if (!name.starts_with('#')) return std::unexpected(XmlErrorKind::unknown_reference);
  const bool hexadecimal = name.starts_with("#x");
  const std::optional<char32_t> code_point =
      read_code_point(name.substr(hexadecimal ? 2 : 1), hexadecimal ? 16 : 10);
  if (!code_point) return std::unexpected(XmlErrorKind::unknown_reference);
  if (!is_scalar_value(*code_point)) return std::unexpected(XmlErrorKind::character_reference_out_of_range);
  return *code_point;
}

std::optional<XmlError> check_utf8(const XmlAttribute& attribute) {
  if (common::is_well_formed_utf8(attribute.raw_value)) return std::nullopt;
  return XmlError{XmlErrorKind::value_not_utf8, attribute.value_offset};
}

/// Reads the raw value from its first reference, at `amp`, on: hands each run of
/// text between references to `take_text` and what each reference stands for to
/// `take_code_point`, in order; gives the error of the first reference that
/// stands for nothing.
template <class TakeText, class TakeCodePoint>
std::optional<XmlError> read_references(const XmlAttribute& attribute, std::size_t amp, TakeText&& take_text,
                                        TakeCodePoint&& take_code_point) {
  const std::string_view raw = attribute.raw_value;
  take_text(raw.substr(0, amp));
  while (amp != std::string_view::npos) {
    const std::size_t semicolon = raw.find(';', amp + 1);
    const std::size_t offset = attribute.value_offset + amp;
    if (semicolon == std::string_view::npos) return XmlError{XmlErrorKind::unterminated_reference, offset};
    const std::string_view name = raw.substr(amp + 1, semicolon - amp - 1);
    const error::Expected<char32_t, XmlErrorKind> code_point = reference_value(name);
    if (!code_point) return XmlError{code_point.error(), offset, name};
    take_code_point(*code_point);
    amp = raw.find('&', semicolon + 1);
    take_text(raw.substr(semicolon + 1, std::min(amp, raw.size()) - semicolon - 1));
  }
  return std::nullopt;
}

/// Writes the raw value over `text` with its references expanded, the first at
/// `amp`. Room for the whole raw value is made first: a reference is never
/// shorter than the text it stands for, so the text is never moved as it grows,
/// and the pages of that room it leaves unused are never touched.
std::optional<XmlError> expand_references(const XmlAttribute& attribute, std::size_t amp, std::string& text) {
  text.clear();
  text.reserve(attribute.raw_value.size());
  return read_references(
      attribute, amp, [&](std::string_view run) { text.append(run); },
      [&](char32_t code_point) { common::append_utf8(text, code_point); });
}

}  // namespace

error::Expected<std::string_view, XmlError> unescape_escaped(const XmlAttribute& attribute,
                                                             std::string& buffer) {
  if (std::optional<XmlError> failure = check_utf8(attribute)) return std::unexpected(*failure);
  const std::size_t amp = attribute.raw_value.find('&');
  if (amp == std::string_view::npos) return attribute.raw_value;
  if (std::optional<XmlError> failure = expand_references(attribute, amp, buffer)) return std::unexpected(*failure);
  return std::string_view(buffer);
}

error::Expected<void, XmlError> unescape_into(const XmlAttribute& attribute, std::string& text) {
  if (std::optional<XmlError> failure = check_utf8(attribute)) return std::unexpected(*failure);
  const std::size_t amp = attribute.raw_value.find('&');
  if (amp == std::string_view::npos) {
    text.assign(attribute.raw_value);
    return {};
  }
  if (std::optional<XmlError> failure = expand_references(attribute, amp, text)) return std::unexpected(*failure);
  return {};
}

error::Expected<void, XmlError> check_unescapes(const XmlAttribute& attribute) {
  if (attribute.is_plain_ascii) return {};
  if (std::optional<XmlError> failure = check_utf8(attribute)) return std::unexpected(*failure);
  const std::size_t amp = attribute.raw_value.find('&');
  if (amp == std::string_view::npos) return {};
  if (std::optional<XmlError> failure = read_references(attribute, amp, [](std::string_view) {}, [](char32_t) {})) {
    return std::unexpected(*failure);
  }
  return {};
}

}  // namespace quellan::tarn::pak
