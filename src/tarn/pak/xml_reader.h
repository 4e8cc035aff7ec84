#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "common/byte_buffer.h"
#include "error/expected.h"
#include "tarn/pak/xml_byte_scan.h"
#include "tarn/pak/xml_error.h"

namespace quellan::tarn::pak {

enum class XmlEventKind {
  start_tag,
  empty_element_tag,  // written with "/>": one event, no end tag follows
  end_tag,
  text,
  cdata,
  comment,
  declaration,  // an XML declaration or a processing instruction: "<?" up to "?>"
  doctype,
  end_of_input,
};

/// The unread attribute list of a start or empty-element tag: the bytes between its
/// name and its end, and the document offset where they start. Read it with an
/// `XmlAttributeCursor`.
struct XmlAttributeList {
  std::string_view text;
  std::size_t offset = 0;
};

/// One attribute as written: its key and its value still escaped, with the
/// document offset of the value's first byte.
struct XmlAttribute {
  std::string_view key;
  std::string_view raw_value;
  std::size_t value_offset = 0;
  /// Whether the raw value is ASCII without any `&`: its own text, as is.
  bool is_plain_ascii = false;
};

/// One event of a document. Views point into the document.
struct XmlEvent {
  XmlEventKind kind;
  /// The element name of a tag; the text, without white space at its ends; the
  /// bytes between a construct's markers (comment, CDATA, declaration, doctype).
  std::string_view content = {};
  /// Start and empty-element tags only.
  XmlAttributeList attributes = {};
};

/// The elements a reader has open, innermost last, each known by the document
/// offset of its name. Each element costs one to ten bytes: the distance from the
/// element that encloses it, in seven-bit groups. A hostile document nested five
/// million levels deep thus costs megabytes, not the hundreds of a stack of names.
class OpenElements {
 public:
  bool empty() const { return !innermost_.has_value(); }

  /// The name offset of the innermost open element, if any.
  std::optional<std::size_t> innermost() const { return innermost_; }

  /// Opens an element whose name starts at `offset`, which lies after the name of
  /// every element open now.
  void push(std::size_t offset) {
    // Most elements start within 128 bytes of the one that encloses them: one group.
    if (const std::size_t distance = offset - innermost_.value_or(0); distance <= GROUP_BITS) {
      distances_.push_back(static_cast<std::uint8_t>(FIRST_GROUP | distance));
    } else {
      push_far(distance);
    }
    innermost_ = offset;
  }

  /// Closes the innermost element; there must be one.
  void pop() {
    if (distances_.size() > 1 && (distances_.back() & FIRST_GROUP) != 0) {
      *innermost_ -= distances_.back() & GROUP_BITS;
      distances_.pop_back();
    } else {
      pop_far();
    }
  }

 private:
  static constexpr std::uint8_t GROUP_BITS = 0x7F;

  // The groups of one distance are stored low group first; only the first byte of
  // each distance has its high bit set, so that `pop` finds where the last began.
  static constexpr std::uint8_t FIRST_GROUP = 0x80;

  /// `push` of a distance of more than one group.
  void push_far(std::size_t distance);
  /// `pop` of a distance of more than one group, or of the outermost element.
  void pop_far();

  std::vector<std::uint8_t> distances_;
  std::optional<std::size_t> innermost_;
};

/// A forward-only pull reader over an XML document held in memory, lenient where
/// descriptions in the wild are sloppy and strict where the metadata parser needs
/// it to be. The document is read as bytes whatever it declares: a UTF-8 byte-order
/// mark at its very start is skipped, names and text are not checked for UTF-8, and
/// a document type declaration is skipped without being interpreted. End tags must
/// match the innermost open element. Text may hold references but no bare '&'.
/// The end of input with elements still open is a plain end of input, so a
/// document cut short keeps what was read up to the cut; the end inside a tag or
/// any other construct is an error.
///
/// Reading allocates nothing but the open-element list, a few bytes per level. The
/// reader is total: after the end of input each call yields it again, after an
/// error the same error. Documents of 4 GiB or more are refused: offsets into the
/// document are kept in 32 bits where memory matters.
class XmlReader {
 public:
  explicit XmlReader(common::PaddedBytes document);

  error::Expected<XmlEvent, XmlError> next();

  /// Reads the tag that starts at the next markup, after white space, letting
  /// `read_start` read the first part of it in a pass of the caller's own, for a
  /// tag that the caller knows how to read faster than an event and a cursor.
  /// `read_start` gets the document and the offset of the tag's `<`; it returns
  /// where it stopped, after the tag's name and outside any quote, or nullopt to
  /// decline. From there the reader finds the tag's end as `next` does, so the
  /// tag read is the one `next` would have delivered. Gives the tag's kind, start
  /// or empty-element tag; nullopt when there is no tag there, when `read_start`
  /// declines or when the tag does not end: then only the white space was read,
  /// which is no event, and `next` reads the same markup the general way.
  template <class ReadStart>
  std::optional<XmlEventKind> read_tag_with(ReadStart&& read_start) {
    if (error_) return std::nullopt;
    // A caller mostly tries this where another reading declined, at the `<`.
    const std::size_t start = document_.data()[position_] == '<' ? position_ : skip_to_markup();
    if (start == document_.size() || document_[start] != '<') return std::nullopt;
    const std::optional<std::size_t> read_up_to = read_start(document_, start);
    if (!read_up_to) return std::nullopt;
    // Most tags read this way are empty elements that end where the caller stopped.
    if (document_.data()[*read_up_to] == '/' && document_.data()[*read_up_to + 1] == '>') {
      position_ = *read_up_to + 2;
      return XmlEventKind::empty_element_tag;
    }
    return finish_tag(start, *read_up_to);
  }

  /// Reads the end tag at the next markup, after white space, when it is written
  /// `</name>` and closes the innermost open element: the end tag `next` would
  /// deliver, for a caller that waits for one by name. `name` holds no white
  /// space, `>` or quote. Whether it read it; when not, only the white space was
  /// read, and `next` reads the same markup the general way, white space before
  /// the `>` included.
  template <std::size_t Size>
  bool read_end_tag_named(const char (&name)[Size]) {
    constexpr std::size_t NAME_SIZE = Size - 1;
    if (error_) return false;
    // A caller mostly tries this where another reading declined, at the `<`.
    const char* const bytes = document_.data();
    const std::size_t start = bytes[position_] == '<' ? position_ : skip_to_markup();
    if (document_.size() - start < NAME_SIZE + 3 || bytes[start] != '<' || bytes[start + 1] != '/' ||
        std::memcmp(bytes + start + 2, name, NAME_SIZE) != 0 || bytes[start + 2 + NAME_SIZE] != '>' ||
        !closes_innermost(NAME_SIZE, [&](const char* open) { return std::memcmp(open, name, NAME_SIZE) == 0; })) {
      return false;
    }
    open_elements_.pop();
    position_ = start + NAME_SIZE + 3;
    return true;
  }

 private:
  inline error::Expected<XmlEvent, XmlError> read_markup();
  inline error::Expected<XmlEvent, XmlError> read_start_tag();
  /// Where the name of a start tag ends and the offset of the tag's `>`.
  struct TagBounds {
    std::size_t name_end;
    std::size_t end;
  };
  /// The bounds of the start tag whose name starts at `name_offset`, or nullopt
  /// when the tag does not end.
  inline std::optional<TagBounds> find_start_tag_bounds(std::size_t name_offset) const;
  /// `find_start_tag_bounds` for a name that `stop` ends, but not at the `>`.
  std::optional<TagBounds> find_start_tag_bounds_after(std::size_t name_offset, std::size_t stop) const;
  inline error::Expected<XmlEvent, XmlError> read_end_tag();
  /// `read_end_tag` of a tag not written plainly or not closing the innermost
  /// element, with its error.
  error::Expected<XmlEvent, XmlError> read_end_tag_the_long_way();
  /// The offset of the `>` of the end tag whose name starts at `name_offset`
  /// when it is written plainly, `</name>`, and closes the innermost open
  /// element, else nullopt: then the end tag is read the long way.
  inline std::optional<std::size_t> find_plain_end_tag_end(std::size_t name_offset) const;
  /// Whether an end tag whose name has `size` bytes closes the innermost open
  /// element. That element is known by where its name starts: `same_name` tells
  /// whether the `size` bytes there are the end tag's, and the white space or
  /// `>` that ended its name must follow them. For a name without white space,
  /// quote or `>`, the whole answer; the caller compares the name its own way.
  template <class SameName>
  bool closes_innermost(std::size_t size, SameName&& same_name) const {
    if (open_elements_.empty()) return false;
    const std::size_t open = *open_elements_.innermost();
    if (document_.size() - open <= size || !same_name(document_.data() + open)) return false;
    const char after = document_.data()[open + size];
    return after == '>' || is_white_space(after);
  }
  /// `closes_innermost` for a name that is a view of the document.
  bool closes_innermost(std::string_view name) const {
    return closes_innermost(name.size(), [&](const char* open) { return same_bytes(open, name.data(), name.size()); });
  }
  error::Expected<XmlEvent, XmlError> read_bang_markup();
  error::Expected<XmlEvent, XmlError> read_doctype();
  /// A construct from the current `<` up to `end_marker`: `content_from` bytes after
  /// the `<` its content starts.
  inline error::Expected<XmlEvent, XmlError> read_delimited(XmlEventKind kind, std::size_t content_from,
                                                     std::string_view end_marker,
                                                     XmlErrorKind unclosed);
  /// The text from here to the next `<`, or an error for a bad reference in it.
  error::Expected<std::string_view, XmlError> read_text();
  /// The tag of `read_tag_with`, its start read up to `read_up_to`.
  std::optional<XmlEventKind> finish_tag(std::size_t start, std::size_t read_up_to);
  /// `closes_innermost` for any name the long way reads.
  bool innermost_name_is(std::string_view name) const;
  std::string_view name_at(std::size_t offset) const;
  std::unexpected<XmlError> fail(XmlError error);
  /// Passes the white space before the next markup, as `next` would: white
  /// space alone is no event, so passing it changes nothing that `next` sees.
  std::size_t skip_to_markup() {
    position_ = skip_indentation(document_, position_);
    return position_;
  }

  std::string_view document_;
  std::size_t position_ = 0;
  OpenElements open_elements_;
  std::optional<XmlError> error_;
};

}  // namespace quellan::tarn::pak
