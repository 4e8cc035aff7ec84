#include "tarn/pak/plain_tags.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <span>
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

/// Whether a key read from the document, where no list bounds it, may end the
/// tag or open a quote: the general reading would then see another tag.
bool may_leave_the_tag(std::string_view key) {
  return key.find_first_of(">\"'") != std::string_view::npos;
}

/// Reads an attribute by the cursor's grammar from `key_offset`, where no tag
/// bounds it: nullopt for one that the general reading would not read the same.
std::optional<std::size_t> read_attribute_in_tag(std::string_view document, std::size_t key_offset,
                                                 XmlAttribute& attribute) {
  const error::Expected<std::size_t, XmlErrorKind> end = read_attribute_at(document, key_offset, 0, attribute);
  if (!end || may_leave_the_tag(attribute.key)) return std::nullopt;
  return *end;
}

/// The keys of a tag read so far, compared one by one as the cursor compares its
/// first ones; a tag with more is left to the cursor.
class FewKeys {
 public:
  /// Whether `key` is new and there was room for it.
  bool add(std::string_view key) {
    const auto earlier = std::span(keys_).first(count_);
    if (count_ == keys_.size() || std::ranges::find(earlier, key) != earlier.end()) return false;
    keys_[count_++] = key;
    return true;
  }

 private:
  // Left uninitialised: most tags fill two.
  std::array<std::string_view, XmlAttributeCursor::KEYS_COMPARED_ONE_BY_ONE> keys_;
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
  IdAndValue found;
  const std::optional<XmlEventKind> kind =
      reader.read_tag_with([&](std::string_view document, std::size_t start) -> std::optional<std::size_t> {
        const std::optional<std::size_t> attributes = attributes_after_name(document, start, "attribute");
        if (!attributes) return std::nullopt;
        return read_field_attributes(document, *attributes, found);
      });
  if (!kind) return std::nullopt;
  if (*kind == XmlEventKind::start_tag) return IdAndValue{};
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
