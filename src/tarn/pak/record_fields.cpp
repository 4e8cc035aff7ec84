#include "tarn/pak/record_fields.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include "common/little_endian.h"
#include "tarn/pak/decimal.h"
#include "tarn/pak/schema.h"
#include "tarn/pak/white_space.h"
#include "tarn/pak/xml_attributes.h"
#include "tarn/pak/xml_unescape.h"

namespace quellan::tarn::pak {

namespace {

using schema::Field;
using schema::FieldMember;

/// Whether `id` is `other`. Ids are short: one of 4 to 16 bytes is compared as
/// two words that may overlap, its first and its last, without a call.
bool same_id(std::string_view id, std::string_view other) {
  if (id.size() != other.size()) return false;
  const std::size_t size = id.size();
  const auto same_ends = [&]<class Word>(Word) {
    return common::load_little_endian<Word>(id.data()) == common::load_little_endian<Word>(other.data()) &&
           common::load_little_endian<Word>(id.data() + size - sizeof(Word)) == common::load_little_endian<Word>(other.data() + size - sizeof(Word));
  };
  if (size >= 8 && size <= 16) return same_ends(std::uint64_t{});
  if (size >= 4 && size < 8) return same_ends(std::uint32_t{});
  return id == other;
}

/// A record's fields, and for each first byte the fields whose ids start with
/// it, one bit per field: an id is compared with those alone.
template <class Record, std::size_t Count>
struct FieldTable {
  static_assert(Count <= 32, "one bit per field");

  constexpr explicit FieldTable(const std::array<Field<Record>, Count>& table) : fields(table) {
    for (std::size_t i = 0; i < Count; ++i) by_first_byte[static_cast<unsigned char>(fields[i].id.front())] |= 1u << i;
  }

  /// The field whose id is `id`, or null.
  const Field<Record>* find(std::string_view id) const {
    if (id.empty()) return nullptr;
    for (std::uint32_t candidates = by_first_byte[static_cast<unsigned char>(id.front())]; candidates != 0;
         candidates &= candidates - 1) {
      const Field<Record>& candidate = fields[static_cast<std::size_t>(std::countr_zero(candidates))];
      if (same_id(candidate.id, id)) return &candidate;
    }
    return nullptr;
  }

  std::array<Field<Record>, Count> fields;
  std::array<std::uint32_t, 256> by_first_byte{};
};

constexpr FieldTable MODULE_INFO_FIELDS{schema::MODULE_INFO_FIELDS};
constexpr FieldTable MODULE_SHORT_DESC_FIELDS{schema::MODULE_SHORT_DESC_FIELDS};

/// Writes the trimmed text of an escaped `value` over `text`, unescaped in place:
/// the field is the only copy of it that is ever made.
bool read_escaped_text_into(const XmlAttribute& value, std::string& text) {
  if (!unescape_into(value, text)) return false;
  trim_white_space_in_place(text);
  return true;
}

/// As above; a text too long to keep in place hands its room to the field.
bool read_escaped_text_into(const XmlAttribute& value, InlineText& text) {
  std::string unescaped;
  if (!read_escaped_text_into(value, unescaped)) return false;
  text.assign(std::move(unescaped));
  return true;
}

/// The text of a plain value, trimmed. Plain values are ASCII, where no byte
/// above the space is white space: one that is empty, or starts and ends with
/// such a byte, as nearly every value does, is its own text.
std::string_view trimmed_plain(const XmlAttribute& value) {
  const std::string_view raw = value.raw_value;
  if (raw.empty() || (raw.front() > ' ' && raw.back() > ' ')) return raw;
  return trim_white_space(raw);
}

template <class Number>
bool read_number_into(const XmlAttribute& value, std::string& buffer, Number& number) {
  std::string_view text;
  if (value.is_plain_ascii) {
    text = trimmed_plain(value);
  } else {
    auto unescaped = unescape_escaped(value, buffer);
    if (!unescaped) return false;
    text = trim_white_space(*unescaped);
  }
  std::optional<Number> read = read_decimal<Number>(text);
  if (read) number = *read;
  return read.has_value();
}

template <class Record>
bool store(Record& record, const FieldMember<Record>& member, const XmlAttribute& value, std::string& buffer,
           FieldTexts texts) {
  return std::visit(
      [&]<class Value>(Value Record::* field) {
        if constexpr (std::is_same_v<Value, std::string> || std::is_same_v<Value, InlineText>) {
          if (texts == FieldTexts::check) return check_unescapes(value).has_value();
          // The usual plain value is trimmed as it stands and copied once.
          if (!value.is_plain_ascii) return read_escaped_text_into(value, record.*field);
          if constexpr (std::is_same_v<Value, InlineText>) {
            static_assert(common::ByteBuffer::SLACK >= InlineText::INLINE_CAPACITY);
            (record.*field).assign_padded(trimmed_plain(value));
          } else {
            (record.*field).assign(trimmed_plain(value));
          }
          return true;
        } else {
          return read_number_into(value, buffer, record.*field);
        }
      },
      member);
}

// An element without `id` or `value` changes nothing, but each that it has must
// unescape.
template <class Record, std::size_t Count>
bool assign_by_table(Record& record, const IdAndValue& element, FieldBuffers& buffers, FieldTexts texts,
                     const FieldTable<Record, Count>& fields) {
  std::optional<std::string_view> id;
  if (element.id) {
    auto unescaped = unescape(*element.id, buffers.id);
    if (!unescaped) return false;
    id = *unescaped;
  }
  if (!element.value) return true;
  const Field<Record>* field = id ? fields.find(*id) : nullptr;
  if (!field) return check_unescapes(*element.value).has_value();
  return store(record, field->member, *element.value, buffers.value, texts);
}

}  // namespace

std::optional<IdAndValue> read_id_and_value(XmlAttributeList attributes) {
  IdAndValue found;
  XmlAttributeCursor cursor(attributes);
  for (;;) {
    auto attribute = cursor.next();
    if (!attribute) return std::nullopt;
    if (!*attribute) return found;
    if ((*attribute)->key == schema::ID) found.id = **attribute;
    if ((*attribute)->key == schema::VALUE) found.value = **attribute;
  }
}

bool assign_field(ModuleInfo& record, const IdAndValue& element, FieldBuffers& buffers, FieldTexts texts) {
  return assign_by_table(record, element, buffers, texts, MODULE_INFO_FIELDS);
}

bool assign_field(ModuleShortDesc& record, const IdAndValue& element, FieldBuffers& buffers, FieldTexts texts) {
  return assign_by_table(record, element, buffers, texts, MODULE_SHORT_DESC_FIELDS);
}

}  // namespace quellan::tarn::pak
