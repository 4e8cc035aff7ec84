#include "tarn/pak/plain_tags.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
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
    stops[byte] = ends_key(c) || c == '>' || Quote::contains(c) || c == '\0';
  }
  return stops;
}();

/// Whether the key at `key_offset` of the document is `key`: its bytes are
/// those, and the next one ends a key. The document is padded, so the bytes may
/// be compared before the key's end is known.
bool is_key_at(const char* document, std::size_t key_offset, std::string_view key) {
  return std::memcmp(document + key_offset, key.data(), key.size()) == 0 && ends_key(document[key_offset + key.size()]);
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

/// The keys of a field tag other than `id` and `value`, for the duplicate check.
/// A 64-bit filter of their first byte and size answers most keys; only one
/// whose bits were met compares the keys kept one by one. The caller admits at
/// most as many keys as the cursor compares one by one.
class OtherKeys {
 public:
  /// Whether `key`, which lies in a padded document, is new.
  bool add(std::string_view key) {
    const std::uint64_t bit = std::uint64_t{1} << ((static_cast<unsigned char>(*key.data()) + key.size()) & 63);
    if ((filter_ & bit) != 0 && std::ranges::any_of(std::span(keys_).first(count_), [&](const Key& kept) {
          return std::string_view(kept.data, kept.size) == key;
        })) {
      return false;
    }
    filter_ |= bit;
    keys_[count_++] = {key.data(), key.size()};
    return true;
  }

 private:
  // Plain pointers and sizes, left uninitialised: only the first `count_` are read.
  struct Key {
    const char* data;
    std::size_t size;
  };

  std::uint64_t filter_ = 0;
  std::size_t count_ = 0;
  std::array<Key, XmlAttributeCursor::KEYS_COMPARED_ONE_BY_ONE> keys_;
};

/// The eight bytes at `bytes` as one word, the first byte lowest.
std::uint64_t word_at(const char* bytes) { return common::load_little_endian<std::uint64_t>(bytes); }

/// The mask of the first `size` bytes of a word, up to eight.
constexpr std::uint64_t mask_of_size(std::size_t size) {
  return size == 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * size)) - 1;
}

/// An attribute written the way nearly every tag of a description writes it: one
/// space, the key, `=` and a double quote, with no white space between. Spotted
/// by one compare of a word; by the cursor's grammar it is the key, since `=`
/// ends a key, followed by the start of its value.
struct SpacedKey {
  std::uint64_t word;
  std::uint64_t mask;
  std::size_t key_size;
};

constexpr SpacedKey spaced_key(std::string_view key) {
  const std::size_t size = key.size() + 3;  // the space, `=` and the quote
  const std::uint64_t word = common::little_endian_word(" ") | (common::little_endian_word(key) << 8) |
                             (common::little_endian_word("=\"") << (8 * (key.size() + 1)));
  return {word, mask_of_size(size), key.size()};
}

constexpr SpacedKey SPACED_ID = spaced_key(schema::ID);
constexpr SpacedKey SPACED_VALUE = spaced_key(schema::VALUE);

bool is_at(std::uint64_t word, const SpacedKey& key) { return (word & key.mask) == key.word; }

/// Reads the value in double quotes that starts at `value_start` into
/// `attribute`, as the cursor would: up to the first `"`, plain when no byte
/// before it is `&` or above ASCII. Where it ends, just past its closing quote;
/// nullopt when the document ends first. Always inline, as is `read_spaced`: GCC
/// otherwise calls them, at a cost of a fifth of a field tag's.
[[gnu::always_inline]] inline std::optional<std::size_t> read_double_quoted_value(std::string_view document,
                                                                                  std::size_t value_start,
                                                                                  XmlAttribute& attribute) {
  const std::size_t value_end = find_value_end<'"'>(document, value_start, attribute.is_plain_ascii);
  if (value_end == std::string_view::npos) return std::nullopt;
  attribute.raw_value = std::string_view(document.data() + value_start, value_end - value_start);
  attribute.value_offset = value_start;
  return value_end + 1;
}

/// Reads the attribute at `at` into `attribute` when it is written as `key` is:
/// where it ends, or nullopt when it is not written so or its value does not end.
[[gnu::always_inline]] inline std::optional<std::size_t> read_spaced(std::string_view document, std::size_t at,
                                                                     const SpacedKey& key, XmlAttribute& attribute) {
  attribute.key = std::string_view(document.data() + at + 1, key.key_size);
  return read_double_quoted_value(document, at + key.key_size + 3, attribute);
}

/// Keeps `attribute` in `slot` when the tag had no such key yet.
bool keep_once(std::optional<XmlAttribute>& slot, const XmlAttribute& attribute) {
  if (slot) return false;
  slot = attribute;
  return true;
}

/// Reads the attributes of a field tag written as nearly all are, ` id="…"
/// value="…"` and then `/>` or `>`: two words compared and two values scanned,
/// with nothing kept for a duplicate check, since neither key can repeat. Where
/// it stopped, or nullopt for a tag written otherwise, leaving `found` of no use.
std::optional<std::size_t> read_spaced_id_then_value(std::string_view document, std::size_t from,
                                                     IdAndValue& found) {
  const char* const bytes = document.data();
  if (!is_at(word_at(bytes + from), SPACED_ID)) return std::nullopt;
  const std::optional<std::size_t> id_end = read_spaced(document, from, SPACED_ID, found.id.emplace());
  if (!id_end || !is_at(word_at(bytes + *id_end), SPACED_VALUE)) return std::nullopt;
  const std::optional<std::size_t> end = read_spaced(document, *id_end, SPACED_VALUE, found.value.emplace());
  // A `/` that no `>` follows starts a key, as in the general reading.
  if (!end || !(bytes[*end] == '>' || (bytes[*end] == '/' && bytes[*end + 1] == '>'))) return std::nullopt;
  return end;
}

/// Reads the attributes of a field tag one at a time, in any form the cursor
/// reads, for a tag that `read_spaced_id_then_value` declined.
[[gnu::noinline]] std::optional<std::size_t> read_field_attributes_one_by_one(std::string_view document,
                                                                              std::size_t from, IdAndValue& found) {
  found.id.reset();
  found.value.reset();
  const char* const bytes = document.data();
  OtherKeys others;
  for (std::size_t i = from, count = 0;; ++count) {
    // The document is padded, so a word can be loaded anywhere before its end.
    const std::uint64_t word = word_at(bytes + i);
    if (is_at(word, SPACED_ID) || is_at(word, SPACED_VALUE)) {
      if (count == XmlAttributeCursor::KEYS_COMPARED_ONE_BY_ONE) return std::nullopt;
      const bool is_id = is_at(word, SPACED_ID);
      std::optional<XmlAttribute>& slot = is_id ? found.id : found.value;
      if (slot) return std::nullopt;
      const std::optional<std::size_t> end =
          read_spaced(document, i, is_id ? SPACED_ID : SPACED_VALUE, slot.emplace());
      if (!end) return std::nullopt;
      i = *end;
      continue;
    }
    // The padding after the document holds neither white space, `>` nor `/`.
    while (is_white_space(bytes[i])) ++i;
    if (bytes[i] == '>' || (bytes[i] == '/' && bytes[i + 1] == '>')) return i;
    if (count == XmlAttributeCursor::KEYS_COMPARED_ONE_BY_ONE) return std::nullopt;
    const auto [key, key_end] = field_key_at(bytes, i);
    if (key_end >= document.size()) return std::nullopt;
    XmlAttribute attribute;
    attribute.key = std::string_view(bytes + i, key_end - i);
    const error::Expected<std::size_t, XmlErrorKind> end = read_value_after_key(document, key_end, 0, attribute);
    if (!end) return std::nullopt;
    const bool is_new = key == FieldKey::id      ? keep_once(found.id, attribute)
                        : key == FieldKey::value ? keep_once(found.value, attribute)
                                                 : others.add(attribute.key);
    if (!is_new) return std::nullopt;
    i = *end;
  }
}

}  // namespace

std::optional<std::size_t> read_field_attributes(std::string_view document, std::size_t from,
                                                 IdAndValue& found) {
  if (const std::optional<std::size_t> end = read_spaced_id_then_value(document, from, found)) return end;
  return read_field_attributes_one_by_one(document, from, found);
}

std::optional<std::size_t> read_node_id(std::string_view document, std::size_t from, XmlAttribute& id) {
  if (is_at(word_at(document.data() + from), SPACED_ID)) return read_spaced(document, from, SPACED_ID, id);
  const std::size_t key_offset = skip_white_space(document, from);
  if (!is_key_at(document.data(), key_offset, schema::ID)) return std::nullopt;
  id.key = document.substr(key_offset, ID_SIZE);
  const error::Expected<std::size_t, XmlErrorKind> end = read_value_after_key(document, key_offset + ID_SIZE, 0, id);
  if (!end) return std::nullopt;
  return *end;
}

}  // namespace quellan::tarn::pak
