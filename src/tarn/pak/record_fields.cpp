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

/// Reads the trimmed text of an escaped value into a text field.
template <class Text>
bool read_escaped_text_into(const XmlAttribute& value, std::string& buffer, Text& text) {
  const error::Expected<std::string_view, XmlError> unescaped = unescape_trimmed(value, buffer);
  if (unescaped) text.assign(*unescaped);
  return unescaped.has_value();
}

template <class Number>
bool read_number_into(const XmlAttribute& value, std::string& buffer, Number& number) {
  const error::Expected<std::string_view, XmlError> text = unescape_trimmed(value, buffer);
  const std::optional<Number> read = text ? read_decimal<Number>(*text) : std::nullopt;
  if (read) number = *read;
  return read.has_value();
}

// Each value is read in one pass that ends in the field, copied there once:
// the usual plain value as it stands in the document, another by
// `unescape_trimmed`, from the document or, when it holds references, from the
// buffer.
template <class Record>
bool store(Record& record, const FieldMember<Record>& member, const XmlAttribute& value, std::string& buffer,
           FieldTexts texts) {
  return std::visit(
      [&]<class Value>(Value Record::* field) {
        if constexpr (std::is_same_v<Value, std::string> || std::is_same_v<Value, InlineText>) {
          if (texts == FieldTexts::check) return check_unescapes(value).has_value();
          if (!value.is_plain_ascii) return read_escaped_text_into(value, buffer, record.*field);
          if constexpr (std::is_same_v<Value, InlineText>) {
            static_assert(common::ByteBuffer::SLACK >= InlineText::INLINE_CAPACITY);
            (record.*field).assign_padded(trimmed_plain(value.raw_value));
          } else {
            (record.*field).assign(trimmed_plain(value.raw_value));
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
    const error::Expected<std::string_view, XmlError> unescaped = unescape(*element.id, buffers.id);
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
