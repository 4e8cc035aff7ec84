#include "tarn/pak/xml_unescape.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <optional>

#include "common/utf8.h"
#include "tarn/pak/xml_byte_scan.h"

namespace quellan::tarn::pak {

namespace {

struct PredefinedEntity {
  std::string_view name;
  char replacement;
};

constexpr std::array<PredefinedEntity, 5> PREDEFINED_ENTITIES{{
    {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"apos", '\''}, {"quot", '"'}}};

constexpr char32_t LAST_CODE_POINT = 0x10FFFF;

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
  const std::string_view digits = name.substr(hexadecimal ? 2 : 1);
  // Any number of leading zeros is read; a number too large for 32 bits is
  // read to its end as well, and is out of range like any above U+10FFFF.
  std::uint32_t code_point = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), code_point,
                                            hexadecimal ? 16 : 10);
  if (end != digits.data() + digits.size() || error == std::errc::invalid_argument) {
    return std::unexpected(XmlErrorKind::unknown_reference);
  }
  if (error == std::errc::result_out_of_range || !is_scalar_value(code_point)) {
    return std::unexpected(XmlErrorKind::character_reference_out_of_range);
  }
  return code_point;
}

/// Unicode's White_Space property below U+0080.
bool is_ascii_white_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

/// Unicode's White_Space property.
bool is_unicode_white_space(char32_t c) {
  if (c < 0x80) return is_ascii_white_space(static_cast<char>(c));
  return c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

/// The one pass over a raw value. It moves over runs of ASCII without `&` a
/// chunk at a time and over each other character one at a time. Characters as
/// written are not copied as they are met: they stay a run of the raw value,
/// copied to the buffer only when a reference follows them, so that a value
/// without references is a view of itself. Trimming skips the white space that
/// starts the value and keeps the offset where its last other character ends.
template <ValueText Making>
class ValuePass {
 public:
  ValuePass(const XmlAttribute& attribute, std::string& buffer)
      : attribute_(attribute), raw_(attribute.raw_value), buffer_(buffer) {}

  error::Expected<std::string_view, XmlError> run() {
    for (std::size_t at = 0; at < raw_.size();) {
      const std::size_t special = std::min(find_first_in<EscapeOrNonAscii>(raw_, at), raw_.size());
      if (special != at) pass_ascii(at, special);
      if (special == raw_.size()) break;
      const std::optional<std::size_t> next = raw_[special] == '&' ? pass_reference(special) : pass_character(special);
      if (!next) return std::unexpected(failure_);
      at = *next;
    }
    if constexpr (Making == ValueText::checked) {
      return std::string_view();
    } else if (!copied_) {
      return raw_.substr(run_, (Making == ValueText::trimmed ? std::max(kept_, run_) : raw_.size()) - run_);
    } else {
      buffer_.append(raw_.data() + run_, raw_.size() - run_);
      if (Making == ValueText::trimmed) buffer_.resize(kept_);
      return std::string_view(buffer_);
    }
  }

 private:
  /// Whether nothing but white space came before `at`, when trimming.
  bool leading(std::size_t at) const { return Making == ValueText::trimmed && run_ == at && !copied_; }

  /// The offset in the text where the raw bytes up to `end` end.
  std::size_t text_offset(std::size_t end) const { return copied_ ? buffer_.size() + (end - run_) : end; }

  void pass_ascii(std::size_t from, std::size_t to) {
    if constexpr (Making == ValueText::trimmed) {
      const auto white = [&](std::size_t i) { return is_ascii_white_space(raw_[i]); };
      if (leading(from)) {
        while (from < to && white(from)) ++from;
        run_ = from;
      }
      std::size_t last = to;
      while (last > from && white(last - 1)) --last;
      if (last > from) kept_ = text_offset(last);
    }
  }

  std::optional<std::size_t> pass_character(std::size_t at) {
    std::size_t invalid_length = 0;
    const std::optional<common::DecodedCharacter> character = common::decode_first(raw_.substr(at), invalid_length);
    if (!character) return fail({XmlErrorKind::value_not_utf8, attribute_.value_offset});
    const std::size_t end = at + character->length;
    if constexpr (Making == ValueText::trimmed) {
      if (!is_unicode_white_space(character->code_point)) {
        kept_ = text_offset(end);
      } else if (leading(at)) {
        run_ = end;
      }
    }
    return end;
  }

  std::optional<std::size_t> pass_reference(std::size_t amp) {
    const std::size_t semicolon = raw_.find(';', amp + 1);
    const std::size_t offset = attribute_.value_offset + amp;
    if (semicolon == std::string_view::npos) return fail({XmlErrorKind::unterminated_reference, offset});
    const std::string_view name = raw_.substr(amp + 1, semicolon - amp - 1);
    const error::Expected<char32_t, XmlErrorKind> code_point = reference_value(name);
    if (!code_point) return fail({code_point.error(), offset, name});
    if constexpr (Making != ValueText::checked) {
      const bool white = Making == ValueText::trimmed && is_unicode_white_space(*code_point);
      if (!(white && leading(amp))) {
        if (!copied_) {
          // Room for the whole raw value: a reference is never shorter than the
          // text it stands for, so the text is never moved as it grows.
          buffer_.clear();
          buffer_.reserve(raw_.size());
          copied_ = true;
          kept_ = kept_ > run_ ? kept_ - run_ : 0;  // from an offset in the value to one in the text
        }
        if (amp != run_) buffer_.append(raw_.data() + run_, amp - run_);
        common::append_utf8(buffer_, *code_point);
        if (!white) kept_ = buffer_.size();
      }
    }
    run_ = semicolon + 1;
    return run_;
  }

  /// Fails with `error`, unless the value is not UTF-8 from there on: that
  /// error comes first, as where the value is read in two passes.
  std::nullopt_t fail(XmlError error) {
    failure_ = common::is_well_formed_utf8(raw_.substr(error.offset - attribute_.value_offset))
                   ? error
                   : XmlError{XmlErrorKind::value_not_utf8, attribute_.value_offset};
    return std::nullopt;
  }

  const XmlAttribute& attribute_;
  std::string_view raw_;
  std::string& buffer_;
  std::size_t run_ = 0;   // where the raw bytes not yet copied start
  std::size_t kept_ = 0;  // where the last character that is no white space ends, in the value or the text
  bool copied_ = false;   // whether the text is in the buffer: a reference was met
  XmlError failure_{XmlErrorKind::value_not_utf8, 0};
};

}  // namespace

error::Expected<void, XmlError> check_unescapes(const XmlAttribute& attribute) {
  if (attribute.is_plain_ascii) return {};
  std::string unused;
  const error::Expected<std::string_view, XmlError> checked = read_escaped_value(attribute, unused, ValueText::checked);
  if (!checked) return std::unexpected(checked.error());
  return {};
}

error::Expected<std::string_view, XmlError> read_escaped_value(const XmlAttribute& attribute, std::string& buffer,
                                                               ValueText making) {
  switch (making) {
    case ValueText::checked:
      return ValuePass<ValueText::checked>(attribute, buffer).run();
    case ValueText::kept:
      return ValuePass<ValueText::kept>(attribute, buffer).run();
    case ValueText::trimmed:
      return ValuePass<ValueText::trimmed>(attribute, buffer).run();
  }
  std::abort();  // every kind returns above
}

}  // namespace quellan::tarn::pak
