#include "tarn/pak/plain_tags.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>

#include "common/little_endian.h"
#include "tarn/pak/schema.h"
#include "tarn/pak/xml_attributes.h"
#include "tarn/pak/xml_byte_scan.h"

namespace quellan::tarn::pak {

namespace {

/// The bytes at which the passes stop reading a key: those that end a key by the
/// cursor's grammar, and those that they leave to the general reading. A `>` or
/// a quote in a key would end the tag or open a quote before the key's end as
/// the general reading finds it; a zero byte stops a key that runs into the
/// document's padding. A key cut short at one of these is followed by no `=`,
/// so the attribute fails and the pass declines.
constexpr std::array<bool, 256> STOPS_KEY = [] {
  std::array<bool, 256> stops{};
  for (std::size_t byte = 0; byte < stops.size(); ++byte) {
    const char c = static_cast<char>(byte);
    stops[byte] = KeyEnd::contains(c) || c == '>' || Quote::contains(c) || c == '\0';
  }
  return stops;
}();

/// Whether the key at `key_offset` of the document is `key`: its bytes are
/// those, and the next one ends a key. The document is padded, so the bytes may
/// be compared before the key's end is known.
bool is_key_at(const char* document, std::size_t key_offset, std::string_view key) {
  return std::memcmp(document + key_offset, key.data(), key.size()) == 0 &&
         KeyEnd::contains(document[key_offset + key.size()]);
}

/// Where the key at `key_offset` stops, a byte at a time: keys are short, and
/// one `STOPS_KEY` byte of padding at least follows the document.
std::size_t key_stop(const char* document, std::size_t key_offset) {
  while (!STOPS_KEY[static_cast<unsigned char>(document[key_offset])]) ++key_offset;
  return key_offset;
}

constexpr std::size_t ID_SIZE = std::string_view(schema::ID).size();
constexpr std::size_t VALUE_SIZE = std::string_view(schema::VALUE).size();

enum class FieldKey { id, value, other };

/// Which key of a field tag starts at `key_offset`, and where it stops: the keys
/// of fields, `id` and `value`, are spotted by their bytes.
std::pair<FieldKey, std::size_t> field_key_at(const char* document, std::size_t key_offset) {
  if (is_key_at(document, key_offset, schema::ID)) return {FieldKey::id, key_offset + ID_SIZE};
  if (is_key_at(document, key_offset, schema::VALUE)) return {FieldKey::value, key_offset + VALUE_SIZE};
  return {FieldKey::other, key_stop(document, key_offset)};
}

/// An attribute written the way nearly every tag of a description writes it: one
/// space, the key, `=` and a double quote, with no white space between. Spotted
/// by one compare of a word.
struct SpacedKey {
  std::uint64_t word;
  std::size_t size;  // of the word's bytes that count
};

constexpr SpacedKey spaced_key(std::string_view key) {
  const std::uint64_t word = common::little_endian_word(" ") | (common::little_endian_word(key) << 8) |
                             (common::little_endian_word("=\"") << (8 * (key.size() + 1)));
  return {word, 1 + key.size() + EQUALS_AND_QUOTE};
}

constexpr SpacedKey SPACED_ID = spaced_key(schema::ID);
constexpr SpacedKey SPACED_VALUE = spaced_key(schema::VALUE);

bool is_at(const char* bytes, const SpacedKey& key) { return low_bytes(load_word(bytes), key.size) == key.word; }

/// Reads the attribute at `at` of the document into `attribute`, when it is
/// written as `key` is: where it ends, or nullopt when its value does not end.
std::optional<std::size_t> read_spaced(std::string_view document, std::size_t at, const SpacedKey& key,
                                       XmlAttribute& attribute) {
  return read_written_so(document, 0, at + 1, at + key.size - EQUALS_AND_QUOTE, attribute);
}

/// Reads the attributes of a field tag written as nearly all are, ` id="…"
/// value="…"` and then `/>` or `>`: two words compared and two values scanned,
/// with nothing kept for a duplicate check, since neither key can repeat. Where
/// it stopped, or `DECLINED` for a tag written otherwise, leaving `found` of no
/// use: a plain offset, which the caller tests without an `optional` in memory.
constexpr std::size_t DECLINED = std::string_view::npos;
std::size_t read_spaced_id_then_value(std::string_view document, std::size_t from, IdAndValue& found) {
  const char* const bytes = document.data();
  if (!is_at(bytes + from, SPACED_ID)) return DECLINED;
  // Each attribute is read whole before it is kept: no field is written twice.
  XmlAttribute id;
  const std::optional<std::size_t> id_end = read_spaced(document, from, SPACED_ID, id);
  if (!id_end || !is_at(bytes + *id_end, SPACED_VALUE)) return DECLINED;
  found.id.emplace(id);
  XmlAttribute value;
  const std::optional<std::size_t> end = read_spaced(document, *id_end, SPACED_VALUE, value);
  // A `/` that no `>` follows starts a key, as in the general reading.
  if (!end || !(bytes[*end] == '>' || (bytes[*end] == '/' && bytes[*end + 1] == '>'))) return DECLINED;
  found.value.emplace(value);
  return *end;
}

/// Reads the attributes of a field tag one at a time, in any form the cursor
/// reads, for a tag that `read_spaced_id_then_value` declined; declines in turn a
/// tag of more keys than the cursor compares one by one.
std::optional<std::size_t> read_field_attributes_one_by_one(std::string_view document, std::size_t from,
                                                            IdAndValue& found) {
  found = IdAndValue{};
  const char* const bytes = document.data();
  FirstKeys keys;
  for (std::size_t i = from;;) {
    // The padding after the document holds neither white space, `>` nor `/`.
    while (is_white_space(bytes[i])) ++i;
    if (bytes[i] == '>' || (bytes[i] == '/' && bytes[i + 1] == '>')) return i;
    if (keys.is_full()) return std::nullopt;
    const auto [key, key_end] = field_key_at(bytes, i);
    if (key_end >= document.size()) return std::nullopt;
    XmlAttribute attribute;
    const std::optional<std::size_t> end = read_attribute(document, 0, i, key_end, attribute);
    if (!end || keys.add(attribute.key)) return std::nullopt;
    if (key != FieldKey::other) (key == FieldKey::id ? found.id : found.value) = attribute;
    i = *end;
  }
}

}  // namespace

std::optional<std::size_t> read_field_attributes(std::string_view document, std::size_t from,
                                                 IdAndValue& found) {
  if (const std::size_t end = read_spaced_id_then_value(document, from, found); end != DECLINED) return end;
  return read_field_attributes_one_by_one(document, from, found);
}

std::optional<std::size_t> read_node_id(std::string_view document, std::size_t from, XmlAttribute& id) {
  if (is_at(document.data() + from, SPACED_ID)) return read_spaced(document, from, SPACED_ID, id);
  const std::size_t key_offset = skip_white_space(document, from);
  if (!is_key_at(document.data(), key_offset, schema::ID)) return std::nullopt;
  return read_attribute(document, 0, key_offset, key_offset + ID_SIZE, id);
}

}  // namespace quellan::tarn::pak
