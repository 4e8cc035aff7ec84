#include "description_floor.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "floor_values.h"

namespace quellan::bench {

namespace {

// What each byte is to the reader, looked up once instead of compared in turn.
enum ByteClass : std::uint8_t { SPACE = 1, ENDS_NAME = 2, ENDS_KEY = 4 };

constexpr std::array<std::uint8_t, 256> BYTE_CLASSES = [] {
  std::array<std::uint8_t, 256> classes{};
  for (const unsigned char c : {' ', '\t', '\n', '\r'}) classes[c] = SPACE | ENDS_NAME | ENDS_KEY;
  for (const unsigned char c : {'/', '>'}) classes[c] = ENDS_NAME | ENDS_KEY;
  classes['='] = ENDS_KEY;
  return classes;
}();

bool is_a(char c, ByteClass kind) { return (BYTE_CLASSES[static_cast<unsigned char>(c)] & kind) != 0; }

bool is_space(char c) { return is_a(c, SPACE); }

bool ends_name(char c) { return is_a(c, ENDS_NAME); }

template <class Record>
struct TextField {
  std::string_view id;
  std::string Record::*member;
};

constexpr std::array<TextField<FloorRecord>, 15> MODULE_TEXTS{{
    {"Author", &FloorRecord::author},
    {"CharacterCreationLevelName", &FloorRecord::character_creation_level_name},
    {"Description", &FloorRecord::description},
    {"Folder", &FloorRecord::folder},
    {"GMTemplate", &FloorRecord::gm_template},
    {"LobbyLevelName", &FloorRecord::lobby_level_name},
    {"MD5", &FloorRecord::md5},
    {"MainMenuBackgroundVideo", &FloorRecord::main_menu_background_video},
    {"MenuLevelName", &FloorRecord::menu_level_name},
    {"Name", &FloorRecord::name},
    {"PhotoBooth", &FloorRecord::photo_booth},
    {"StartupLevelName", &FloorRecord::startup_level_name},
    {"Tags", &FloorRecord::tags},
    {"Type", &FloorRecord::module_type},
    {"UUID", &FloorRecord::uuid},
}};

constexpr std::array<TextField<FloorDependency>, 4> DEPENDENCY_TEXTS{{
    {"Folder", &FloorDependency::folder},
    {"MD5", &FloorDependency::md5},
    {"Name", &FloorDependency::name},
    {"UUID", &FloorDependency::uuid},
}};

// Sets the text field named `id`; false when `record` has none of that name.
template <class Record, std::size_t N>
bool assign_text(Record& record, const std::array<TextField<Record>, N>& fields, std::string_view id,
                 std::string_view value) {
  for (const TextField<Record>& field : fields) {
    if (field.id != id) continue;
    (record.*field.member).assign(value);
    return true;
  }
  return false;
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
    if (at_ + 1 == text_.size()) return false;
    switch (text_[at_ + 1]) {
      case '/': return end_tag();
      case '?': return skip_past("?>");
      case '!': break;
      default: return start_tag();
    }
    const std::string_view rest = text_.substr(at_);
    if (rest.starts_with("<!--")) return skip_past("-->");
    if (rest.starts_with("<![CDATA[")) return skip_past("]]>");
    return skip_past(">");
  }

  bool skip_past(std::string_view marker) {
    const std::size_t found = text_.find(marker, at_ + 2);
    if (found == std::string_view::npos) return false;
    at_ = found + marker.size();
    return true;
  }

  // Text up to the next tag; every '&' in it must begin a reference closed by ';'.
  bool skip_text() {
    // Most text is the white space between tags, passed over without a search.
    at_ = past_white_space(at_);
    if (at_ == text_.size() || text_[at_] == '<') return true;
    std::size_t end = text_.find('<', at_);
    if (end == std::string_view::npos) end = text_.size();
    const std::string_view text = text_.substr(at_, end - at_);
    for (std::size_t amp = text.find('&'); amp != std::string_view::npos; amp = text.find('&', amp + 1)) {
      if (text.find(';', amp) == std::string_view::npos) return false;
    }
    at_ = end;
    return true;
  }

  // Indentation is mostly runs of spaces, passed over eight at a time.
  std::size_t past_white_space(std::size_t at) const {
    constexpr std::uint64_t SPACES = 0x2020202020202020;
    const char* bytes = text_.data();
    const std::size_t size = text_.size();
    while (at < size) {
      std::uint64_t word;
      if (at + 8 <= size && (std::memcpy(&word, bytes + at, 8), word == SPACES)) {
        at += 8;
      } else if (is_space(bytes[at])) {
        ++at;
      } else {
        break;
      }
    }
    return at;
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

  // A tag whose attributes are read has them read in the same pass that finds
  // its end. Where they do not read, the tag still counts only if it is of the
  // kind that is read: its end is then found again, passing over quoted values.
  bool start_tag() {
    const std::string_view name = name_from(at_ + 1);
    if (name.empty()) return false;
    const std::size_t attributes_at = at_ + 1 + name.size();
    const bool node = node_ == Node::none && name == "node";
    const bool field = node_ != Node::none && name == "attribute";
    std::size_t at = attributes_at;
    attributes_.clear();
    failed_ = false;
    if (node || field) {
      for (Attribute attribute; next_attribute(at, attribute);) {
        attributes_.push_back(attribute);
        if (node && attribute.key == "id") break;
      }
    }
    const bool read = (node || field) && !failed_;
    const std::size_t end = tag_end(read ? at : attributes_at);
    if (end == std::string_view::npos) return false;
    const bool empty = text_[end - 1] == '/' && end - 1 >= attributes_at;
    at_ = end + 1;
    if (!empty) open_.push_back(name);
    if (node && !empty) return read && node_start();
    if (field && empty) return read && this->field();
    return true;
  }

  // Reads the attribute at `at` on, past white space; false at the end of the
  // list, or on a malformed one, which `failed_` then tells.
  bool next_attribute(std::size_t& at, Attribute& out) {
    const std::string_view list = text_;
    while (at < list.size() && is_space(list[at])) ++at;
    if (at == list.size() || list[at] == '/' || list[at] == '>') return false;
    const std::size_t key_at = at;
    while (at < list.size() && !is_a(list[at], ENDS_KEY)) ++at;
    out.key = list.substr(key_at, at - key_at);
    while (at < list.size() && is_space(list[at])) ++at;
    if (at == list.size() || list[at] != '=') return fail();
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

  // Whether no key of the tag read so far is given twice.
  bool keys_distinct() const {
    for (std::size_t i = 1; i < attributes_.size(); ++i)
      for (std::size_t j = 0; j < i; ++j)
        if (attributes_[i].key == attributes_[j].key) return false;
    return true;
  }

  bool node_start() {
    if (!keys_distinct()) return false;
    if (attributes_.empty() || attributes_.back().key != "id") return true;
    const auto id = unescape(attributes_.back().value, scratch_);
    if (!id) return false;
    if (*id == "ModuleInfo") begin_node(Node::module_info);
    else if (*id == "ModuleShortDesc") begin_node(Node::dependency);
    return true;
  }

  void begin_node(Node kind) {
    node_ = kind;
    if (kind == Node::dependency) {
      result_.dependencies.emplace_back();
    } else {
      result_.module_info = FloorRecord{};
      have_module_info_ = true;
    }
  }

  bool field() {
    if (!keys_distinct()) return false;
    std::optional<std::string_view> id, value;
    for (const Attribute& attribute : attributes_) {
      if (attribute.key == "id") {
        if (!(id = unescape(attribute.value, id_scratch_))) return false;
      } else if (attribute.key == "value") {
        if (!(value = unescape(attribute.value, scratch_))) return false;
      }
    }
    if (!id || !value) return true;
    if (node_ == Node::dependency) return assign(result_.dependencies.back(), *id, trimmed(*value));
    return assign(result_.module_info, *id, trimmed(*value));
  }

  // Each assigns the field named `id`, if the record has one; false for a number that does not read.
  static bool assign(FloorDependency& record, std::string_view id, std::string_view value) {
    if (assign_text(record, DEPENDENCY_TEXTS, id, value)) return true;
    return id != "Version64" || assign_number(record.version, value);
  }

  static bool assign(FloorRecord& record, std::string_view id, std::string_view value) {
    if (assign_text(record, MODULE_TEXTS, id, value)) return true;
    if (id == "Version64") return assign_number(record.version, value);
    if (id == "PublishHandle") return assign_number(record.publish_handle, value);
    if (id == "NumPlayers") return assign_number(record.num_players, value);
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
  std::vector<Attribute> attributes_;
  std::string scratch_, id_scratch_;
  bool failed_ = false;
  Node node_ = Node::none;
  bool have_module_info_ = false;
  FloorDescription result_;
};

}  // namespace

std::optional<FloorDescription> read_description_floor(std::string_view document) {
  return DescriptionFloor(document).read();
}

}  // namespace quellan::bench
