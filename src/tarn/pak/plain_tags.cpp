#include "tarn/pak/plain_tags.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "tarn/pak/xml_attributes.h"
#include "tarn/pak/xml_byte_scan.h"

namespace quellan::tarn::pak {

namespace {

/// Where the attributes of a tag named `name` start, when the document has that
/// tag at `start`: its `<` and name, then white space, which ends the name as the
/// general reading finds it. The document is padded, so the name's bytes may be
/// compared before its end is known.
std::optional<std::size_t> attributes_after_name(std::string_view document, std::size_t start,
                                                 std::string_view name) {
  const std::size_t after_name = start + 1 + name.size();
  static_assert(common::ByteBuffer::SLACK >= 16);
  if (std::memcmp(document.data() + start + 1, name.data(), name.size()) != 0 ||
      after_name >= document.size() || !is_xml_white_space(document[after_name])) {
    return std::nullopt;
  }
  return after_name;
}

/// Where the key at `key_offset` of the document ends when it is `key`: its bytes
/// are those, and the next one ends a key. The document is padded, so the bytes
/// may be compared before the key's end is known.
bool is_key_at(std::string_view document, std::size_t key_offset, std::string_view key) {
  return std::memcmp(document.data() + key_offset, key.data(), key.size()) == 0 &&
         key_offset + key.size() < document.size() && ends_key(document[key_offset + key.size()]);
}

/// Where the key at `key_offset` ends, by the cursor's grammar. Where no tag
/// bounds it, a `>` or a quote before its end would end the tag or open a quote
/// there: it is cut short at one, which is then followed by no `=`, and the
/// attribute fails. The keys of fields, `id` and `value`, are spotted by their
/// bytes.
std::size_t key_end_in_tag(std::string_view document, std::size_t key_offset) {
  if (is_key_at(document, key_offset, "id")) return key_offset + 2;
  if (is_key_at(document, key_offset, "value")) return key_offset + 5;
  return find_any_of<' ', '\t', '\r', '\n', '=', '>', '"', '\''>(document, key_offset);
}

/// Reads an attribute by the cursor's grammar from `key_offset`, where no tag
/// bounds it: nullopt for one that the general reading would not read the same.
std::optional<std::size_t> read_attribute_in_tag(std::string_view document, std::size_t key_offset,
                                                 XmlAttribute& attribute) {
  const std::size_t key_end = key_end_in_tag(document, key_offset);
  if (key_end == std::string_view::npos) return std::nullopt;
  attribute.key = std::string_view(document.data() + key_offset, key_end - key_offset);
  const error::Expected<std::size_t, XmlErrorKind> end = read_value_after_key(document, key_end, 0, attribute);
  if (!end) return std::nullopt;
  return *end;
}

/// The keys of a tag read so far, compared one by one as the cursor compares its
/// first ones; a tag with more is left to the cursor.
class FewKeys {
 public:
  /// Whether `key` is new and there was room for it.
  bool add(std::string_view key) {
    if (count_ == MOST) return false;
    // Keys of a tag mostly differ in their size or first byte, checked before the rest.
    for (std::size_t i = 0; i < count_; ++i) {
      if (keys_[i].size == key.size() && (key.empty() || keys_[i].data[0] == key.front()) &&
          std::memcmp(keys_[i].data, key.data(), key.size()) == 0) {
        return false;
      }
    }
    keys_[count_++] = {key.data(), key.size()};
    return true;
  }

 private:
  static constexpr std::size_t MOST = XmlAttributeCursor::KEYS_COMPARED_ONE_BY_ONE;
  // Plain pointers and sizes, left uninitialised: most tags fill two.
  struct Key {
    const char* data;
    std::size_t size;
  };
  std::array<Key, MOST> keys_;
  std::size_t count_ = 0;
};

/// Reads the attributes of an `attribute` tag from `from` up to the `/>` or `>`
/// that follows them, keeping `id` and `value` in `found`. Where it stopped.
std::optional<std::size_t> read_field_attributes(std::string_view document, std::size_t from,
                                                 IdAndValue& found) {
  FewKeys keys;
  for (std::size_t i = from;;) {
    i = skip_white_space(document, i);
    if (i == document.size()) return std::nullopt;
    if (document[i] == '>' || (document[i] == '/' && i + 1 < document.size() && document[i + 1] == '>')) {
      return i;
    }
    XmlAttribute attribute;
    const std::optional<std::size_t> end = read_attribute_in_tag(document, i, attribute);
    if (!end || !keys.add(attribute.key)) return std::nullopt;
    if (attribute.key == "id") found.id = attribute;
    if (attribute.key == "value") found.value = attribute;
    i = *end;
  }
}

}  // namespace

std::optional<IdAndValue> read_plain_field_tag(XmlReader& reader) {
  std::optional<IdAndValue> found(std::in_place);
  const std::optional<XmlEventKind> kind =
      reader.read_tag_with([&](std::string_view document, std::size_t start) -> std::optional<std::size_t> {
        const std::optional<std::size_t> attributes = attributes_after_name(document, start, "attribute");
        if (!attributes) return std::nullopt;
        return read_field_attributes(document, *attributes, *found);
      });
  if (!kind) {
    found.reset();
  } else if (*kind == XmlEventKind::start_tag) {
    found.emplace();  // no field: it changes nothing
  }
  return found;
}

std::optional<NodeTag> read_plain_node_tag(XmlReader& reader) {
  XmlAttribute id;
  const std::optional<XmlEventKind> kind =
      reader.read_tag_with([&](std::string_view document, std::size_t start) -> std::optional<std::size_t> {
        const std::optional<std::size_t> attributes = attributes_after_name(document, start, "node");
        if (!attributes) return std::nullopt;
        const std::optional<std::size_t> end =
            read_attribute_in_tag(document, skip_white_space(document, *attributes), id);
        if (!end || id.key != "id") return std::nullopt;
        return end;
      });
  if (!kind) return std::nullopt;
  return NodeTag{*kind, id};
}

}  // namespace quellan::tarn::pak
