#include "floor_values.h"

#include <array>
#include <cstring>

namespace quellan::bench {

namespace {

// Strict UTF-8: no overlong forms, no surrogates, nothing past U+10FFFF.
bool is_utf8(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const auto* end = p + text.size();
  while (p < end) {
    const unsigned c = *p;
    if (c < 0x80) { ++p; continue; }
    int more = 0;
    unsigned low = 0x80, high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) more = 1;
    else if (c >= 0xE0 && c <= 0xEF) more = 2, low = c == 0xE0 ? 0xA0 : 0x80, high = c == 0xED ? 0x9F : 0xBF;
    else if (c >= 0xF0 && c <= 0xF4) more = 3, low = c == 0xF0 ? 0x90 : 0x80, high = c == 0xF4 ? 0x8F : 0xBF;
    else return false;
    if (end - p <= more || p[1] < low || p[1] > high) return false;
    for (int i = 2; i <= more; ++i) if ((p[i] & 0xC0) != 0x80) return false;
    p += more + 1;
  }
  return true;
}

void append_utf8(std::string& out, std::uint32_t code) {
  if (code < 0x80) { out += char(code); return; }
  if (code < 0x800) { out += char(0xC0 | code >> 6); }
  else if (code < 0x10000) { out += char(0xE0 | code >> 12); out += char(0x80 | (code >> 6 & 0x3F)); }
  else { out += char(0xF0 | code >> 18); out += char(0x80 | (code >> 12 & 0x3F)); out += char(0x80 | (code >> 6 & 0x3F)); }
  out += char(0x80 | (code & 0x3F));
}

bool append_character_reference(std::string& out, std::string_view digits) {
  const bool hex = !digits.empty() && digits[0] == 'x';
  if (hex) digits.remove_prefix(1);
  if (digits.empty()) return false;
  std::uint32_t code = 0;
  for (const char c : digits) {
    unsigned digit;
    if (c >= '0' && c <= '9') digit = unsigned(c - '0');
    else if (hex && (c | 0x20) >= 'a' && (c | 0x20) <= 'f') digit = unsigned((c | 0x20) - 'a' + 10);
    else return false;
    code = code * (hex ? 16 : 10) + digit;
    if (code > 0x10FFFF) return false;
  }
  if (code == 0 || (code >= 0xD800 && code <= 0xDFFF)) return false;
  append_utf8(out, code);
  return true;
}

bool append_reference(std::string& out, std::string_view name) {
  if (name == "lt") out += '<';
  else if (name == "gt") out += '>';
  else if (name == "amp") out += '&';
  else if (name == "apos") out += '\'';
  else if (name == "quot") out += '"';
  else if (name.starts_with('#')) return append_character_reference(out, name.substr(1));
  else return false;
  return true;
}

// Expands the references of `raw`, valid UTF-8 holding at least one '&', into `out`.
bool expand_references(std::string_view raw, std::string& out) {
  out.clear();
  std::size_t from = 0;
  for (std::size_t amp = raw.find('&'); amp != std::string_view::npos; amp = raw.find('&', from)) {
    const std::size_t semicolon = raw.find(';', amp);
    if (semicolon == std::string_view::npos) return false;
    out.append(raw.substr(from, amp - from));
    if (!append_reference(out, raw.substr(amp + 1, semicolon - amp - 1))) return false;
    from = semicolon + 1;
  }
  out.append(raw.substr(from));
  return true;
}

// How many bytes `raw` starts with that are ASCII and no '&', eight at a time:
// a byte with its top bit set, or equal to '&', sets the top bit of its lane.
std::size_t plain_prefix(std::string_view raw) {
  constexpr std::uint64_t ONES = 0x0101010101010101, TOPS = 0x8080808080808080, AMPERSANDS = ONES * '&';
  std::size_t plain = 0;
  for (; plain + 8 <= raw.size(); plain += 8) {
    std::uint64_t word;
    std::memcpy(&word, raw.data() + plain, 8);
    const std::uint64_t matches = word ^ AMPERSANDS;
    if (((word | ((matches - ONES) & ~matches)) & TOPS) != 0) break;
  }
  while (plain < raw.size() && static_cast<unsigned char>(raw[plain]) < 0x80 && raw[plain] != '&') ++plain;
  return plain;
}

// The length of the Unicode white space that `text` starts with (from_end false) or ends with.
std::size_t white_space_at(std::string_view text, bool from_end) {
  static constexpr std::array<std::string_view, 8> WIDE{
      "\xC2\x85", "\xC2\xA0", "\xE1\x9A\x80", "\xE2\x80\xA8", "\xE2\x80\xA9", "\xE2\x80\xAF",
      "\xE2\x81\x9F", "\xE3\x80\x80"};
  if (text.empty()) return 0;
  const char c = from_end ? text.back() : text.front();
  if (c == ' ' || (c >= '\t' && c <= '\r')) return 1;
  if ((c & 0x80) == 0) return 0;
  for (const std::string_view wide : WIDE)
    if ((from_end ? text.ends_with(wide) : text.starts_with(wide))) return wide.size();
  // U+2000 to U+200A
  const std::string_view three = from_end ? text.substr(text.size() - std::min<std::size_t>(3, text.size())) : text.substr(0, 3);
  if (three.size() == 3 && three[0] == '\xE2' && three[1] == '\x80' && unsigned(three[2] & 0xFF) >= 0x80 &&
      unsigned(three[2] & 0xFF) <= 0x8A)
    return 3;
  return 0;
}

}  // namespace

// Most values are plain ASCII, told eight bytes at a time.
std::optional<std::string_view> unescape(std::string_view raw, std::string& scratch) {
  const std::size_t plain = plain_prefix(raw);
  if (plain == raw.size()) return raw;
  if (!is_utf8(raw.substr(plain))) return std::nullopt;
  if (raw.find('&', plain) == std::string_view::npos) return raw;
  if (!expand_references(raw, scratch)) return std::nullopt;
  return std::string_view(scratch);
}

std::string_view trimmed(std::string_view text) {
  while (std::size_t n = white_space_at(text, false)) text.remove_prefix(n);
  while (std::size_t n = white_space_at(text, true)) text.remove_suffix(n);
  return text;
}

}  // namespace quellan::bench
