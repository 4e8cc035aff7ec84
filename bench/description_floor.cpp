#include "description_floor.h"

#include <array>
#include <cstddef>
#include <limits>

namespace quellan::bench {

namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool ends_name(char c) { return is_space(c) || c == '/' || c == '>'; }

struct TextField {
  std::string_view id;
  std::string FloorRecord::*member;
  bool in_dependency;
};

constexpr std::array TEXT_FIELDS{
    TextField{"Author", &FloorRecord::author, false},
    TextField{"CharacterCreationLevelName", &FloorRecord::character_creation_level_name, false},
    TextField{"Description", &FloorRecord::description, false},
    TextField{"Folder", &FloorRecord::folder, true},
    TextField{"GMTemplate", &FloorRecord::gm_template, false},
    TextField{"LobbyLevelName", &FloorRecord::lobby_level_name, false},
    TextField{"MD5", &FloorRecord::md5, true},
    TextField{"MainMenuBackgroundVideo", &FloorRecord::main_menu_background_video, false},
    TextField{"MenuLevelName", &FloorRecord::menu_level_name, false},
    TextField{"Name", &FloorRecord::name, true},
    TextField{"PhotoBooth", &FloorRecord::photo_booth, false},
    TextField{"StartupLevelName", &FloorRecord::startup_level_name, false},
    TextField{"Tags", &FloorRecord::tags, false},
    TextField{"Type", &FloorRecord::module_type, false},
    TextField{"UUID", &FloorRecord::uuid, true},
};

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

// The value as text: `raw` itself when it holds no reference, else its expansion in `scratch`.
std::optional<std::string_view> unescape(std::string_view raw, std::string& scratch) {
  if (!is_utf8(raw)) return std::nullopt;
  std::size_t amp = raw.find('&');
  if (amp == std::string_view::npos) return raw;
  scratch.clear();
  std::size_t from = 0;
  while (amp != std::string_view::npos) {
    const std::size_t semicolon = raw.find(';', amp);
    if (semicolon == std::string_view::npos) return std::nullopt;
    scratch.append(raw.substr(from, amp - from));
    if (!append_reference(scratch, raw.substr(amp + 1, semicolon - amp - 1))) return std::nullopt;
    from = semicolon + 1;
    amp = raw.find('&', from);
  }
  scratch.append(raw.substr(from));
  return std::string_view(scratch);
}

// The length of the Unicode white space that `text` starts with (from_end false) or ends with.
std::size_t white_space_at(std::string_view text, bool from_end) {
  static constexpr std::array<std::string_view, 8> WIDE{
      "\xC2\x85", "\xC2\xA0", "\xE1\x9A\x80", "\xE2\x80\xA8", "\xE2\x80\xA9", "\xE2\x80\xAF",
      "\xE2\x81\x9F", "\xE3\x80\x80"};
  if (text.empty()) return 0;
  const char c = from_end ? text.back() : text.front();
  if (is_space(c) || c == '\v' || c == '\f') return 1;
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

std::string_view trimmed(std::string_view text) {
  while (std::size_t n = white_space_at(text, false)) text.remove_prefix(n);
  while (std::size_t n = white_space_at(text, true)) text.remove_suffix(n);
  return text;
}

template <class T>
std::optional<T> decimal(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text[0] == '+' || (text[0] == '-' && std::numeric_limits<T>::is_signed))) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  // Accumulated towards the sign's side, so that the most negative value fits.
  T value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const T digit = T(c - '0');
    if (negative ? __builtin_mul_overflow(value, T(10), &value) || __builtin_sub_overflow(value, digit, &value)
                 : __builtin_mul_overflow(value, T(10), &value) || __builtin_add_overflow(value, digit, &value))
      return std::nullopt;
  }
  return value;
}

struct Attribute {
  std::string_view key, value;
};

// One pass of the document: the parts of a tag it meets, and the open elements.
class DescriptionFloor {
 public:
  explicit DescriptionFloor(std::string_view document) : text_(document) {
    if (text_.starts_with("\xEF\xBB\xBF")) at_ = 3;
  }

  std::optional<FloorDescription> read() {
    while (at_ < text_.size()) {
      if (!step()) return std::nullopt;
    }
    if (!have_module_info_) return std::nullopt;
    return std::move(result_);
  }

 private:
  enum class Node { none, module_info, dependency };

  bool step() {
    if (text_[at_] != '<') return skip_text();
    const std::string_view rest = text_.substr(at_);
    if (rest.starts_with("<!--")) return skip_past("-->");
    if (rest.starts_with("<![CDATA[")) return skip_past("]]>");
    if (rest.starts_with("<!") ) return skip_past(">");
    if (rest.starts_with("<?")) return skip_past("?>");
    if (rest.starts_with("</")) return end_tag();
    return start_tag();
  }

  bool skip_past(std::string_view marker) {
    const std::size_t found = text_.find(marker, at_ + 2);
    if (found == std::string_view::npos) return false;
    at_ = found + marker.size();
    return true;
  }

  // Text up to the next tag; every '&' in it must begin a reference closed by ';'.
  bool skip_text() {
    std::size_t end = text_.find('<', at_);
    if (end == std::string_view::npos) end = text_.size();
    for (std::size_t amp = text_.find('&', at_); amp < end; amp = text_.find('&', amp + 1)) {
      const std::size_t semicolon = text_.find(';', amp);
      if (semicolon >= end) return false;
    }
    at_ = end;
    return true;
  }

  std::string_view name_from(std::size_t from) const {
    std::size_t end = from;
    while (end < text_.size() && !ends_name(text_[end])) ++end;
    return text_.substr(from, end - from);
  }

  bool end_tag() {
    const std::string_view name = name_from(at_ + 2);
    std::size_t at = at_ + 2 + name.size();
    while (at < text_.size() && is_space(text_[at])) ++at;
    if (at == text_.size() || text_[at] != '>' || open_.empty() || open_.back() != name) return false;
    open_.pop_back();
    at_ = at + 1;
    if (node_ != Node::none && name == "node") node_ = Node::none;
    return true;
  }

  // The '>' that ends the tag whose attributes start at `from`, passing over quoted values.
  std::size_t tag_end(std::size_t from) const {
    char quote = 0;
    for (std::size_t at = from; at < text_.size(); ++at) {
      const char c = text_[at];
      if (quote) { if (c == quote) quote = 0; }
      else if (c == '"' || c == '\'') quote = c;
      else if (c == '>') return at;
    }
    return std::string_view::npos;
  }

  bool start_tag() {
    const std::string_view name = name_from(at_ + 1);
    const std::size_t attributes_at = at_ + 1 + name.size();
    const std::size_t end = tag_end(attributes_at);
    if (name.empty() || end == std::string_view::npos) return false;
    const bool empty = text_[end - 1] == '/' && end - 1 >= attributes_at;
    const std::string_view attributes = text_.substr(attributes_at, end - attributes_at - (empty ? 1 : 0));
    at_ = end + 1;
    if (!empty) open_.push_back(name);
    if (node_ == Node::none && !empty && name == "node") return node_start(attributes);
    if (node_ != Node::none && empty && name == "attribute") return field(attributes);
    return true;
  }

  // Reads the attribute at `list[at]` on, past white space; false at the list's end
  // or on a malformed one, which `failed_` then tells.
  bool next_attribute(std::string_view list, std::size_t& at, Attribute& out) {
    while (at < list.size() && is_space(list[at])) ++at;
    if (at == list.size()) return false;
    const std::size_t key_at = at;
    while (at < list.size() && list[at] != '=' && !is_space(list[at])) ++at;
    out.key = list.substr(key_at, at - key_at);
    while (at < list.size() && is_space(list[at])) ++at;
    if (at == list.size() || list[at] != '=' || out.key.empty()) return fail();
    ++at;
    while (at < list.size() && is_space(list[at])) ++at;
    if (at == list.size() || (list[at] != '"' && list[at] != '\'')) return fail();
    const std::size_t close = list.find(list[at], at + 1);
    if (close == std::string_view::npos) return fail();
    out.value = list.substr(at + 1, close - at - 1);
    at = close + 1;
    return true;
  }

  bool fail() {
    failed_ = true;
    return false;
  }

  // Appends to `keys` the key of `attribute`, unless it is there already.
  static bool new_key(std::vector<std::string_view>& keys, std::string_view key) {
    for (const std::string_view seen : keys) if (seen == key) return false;
    keys.push_back(key);
    return true;
  }

  bool node_start(std::string_view list) {
    keys_.clear();
    Attribute attribute;
    for (std::size_t at = 0; next_attribute(list, at, attribute);) {
      if (!new_key(keys_, attribute.key)) return false;
      if (attribute.key != "id") continue;
      const auto id = unescape(attribute.value, scratch_);
      if (!id) return false;
      if (*id == "ModuleInfo") begin_node(Node::module_info);
      else if (*id == "ModuleShortDesc") begin_node(Node::dependency);
      return true;
    }
    return !failed_;
  }

  void begin_node(Node kind) {
    node_ = kind;
    if (kind == Node::dependency) {
      current_ = &result_.dependencies.emplace_back();
    } else {
      result_.module_info = FloorRecord{};
      current_ = &result_.module_info;
      have_module_info_ = true;
    }
  }

  bool field(std::string_view list) {
    keys_.clear();
    std::optional<std::string_view> id, value;
    Attribute attribute;
    for (std::size_t at = 0; next_attribute(list, at, attribute);) {
      if (!new_key(keys_, attribute.key)) return false;
      if (attribute.key == "id") id = unescape(attribute.value, id_scratch_);
      else if (attribute.key == "value") value = unescape(attribute.value, scratch_);
      else continue;
      if (!(attribute.key == "id" ? id : value)) return false;
    }
    if (failed_) return false;
    return !id || !value || assign(*id, trimmed(*value));
  }

  bool assign(std::string_view id, std::string_view value) {
    const bool dependency = node_ == Node::dependency;
    for (const TextField& text : TEXT_FIELDS) {
      if (text.id != id) continue;
      if (!dependency || text.in_dependency) (current_->*text.member).assign(value);
      return true;
    }
    if (id == "Version64") return assign_number(current_->version, value);
    if (dependency) return true;
    if (id == "PublishHandle") return assign_number(current_->publish_handle, value);
    if (id == "NumPlayers") return assign_number(current_->num_players, value);
    return true;
  }

  template <class T>
  static bool assign_number(T& field, std::string_view text) {
    const auto number = decimal<T>(text);
    if (number) field = *number;
    return number.has_value();
  }

  std::string_view text_;
  std::size_t at_ = 0;
  std::vector<std::string_view> open_;
  std::vector<std::string_view> keys_;
  std::string scratch_, id_scratch_;
  bool failed_ = false;
  Node node_ = Node::none;
  FloorRecord* current_ = nullptr;
  bool have_module_info_ = false;
  FloorDescription result_;
};

}  // namespace

std::optional<FloorDescription> read_description_floor(std::string_view document) {
  return DescriptionFloor(document).read();
}

}  // namespace quellan::bench
