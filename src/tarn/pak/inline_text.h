#pragma once

#include <array>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

namespace quellan::tarn::pak {

/// A text field whose usual value has a size known in advance, such as a UUID or
/// an MD5 in hexadecimal: up to `INLINE_CAPACITY` bytes are kept in place, so that
/// assigning one allocates nothing. A document may give any text instead; a longer
/// one goes to the heap as usual.
class InlineText {
 public:
  static constexpr std::size_t INLINE_CAPACITY = 40;

  InlineText() = default;
  // Implicit, as for a `std::string` field.
  InlineText(std::string_view text) { assign(text); }
  InlineText(const char* text) : InlineText(std::string_view(text)) {}

  void assign(std::string_view text) {
    size_ = text.size();
    if (size_ <= INLINE_CAPACITY) {
      std::memcpy(inline_bytes_.data(), text.data(), size_);
      if (!long_text_.empty()) long_text_ = std::string();  // release a long one given before
    } else {
      long_text_.assign(text);
    }
  }

  /// As `assign`, for a text followed by at least `INLINE_CAPACITY` readable
  /// bytes, as one that lies in a padded document is: a short one is copied in
  /// one move of a fixed size.
  void assign_padded(std::string_view text) {
    if (text.size() > INLINE_CAPACITY) return assign(text);
    std::memcpy(inline_bytes_.data(), text.data(), INLINE_CAPACITY);
    size_ = text.size();
    if (!long_text_.empty()) long_text_ = std::string();  // release a long one given before
  }

  std::string_view view() const {
    return size_ <= INLINE_CAPACITY ? std::string_view(inline_bytes_.data(), size_) : std::string_view(long_text_);
  }
  operator std::string_view() const { return view(); }

  bool empty() const { return size_ == 0; }

  friend bool operator==(const InlineText& one, const InlineText& other) { return one.view() == other.view(); }

 private:
  std::size_t size_ = 0;
  std::array<char, INLINE_CAPACITY> inline_bytes_;  // only the first `size_` are ever read
  std::string long_text_;
};

}  // namespace quellan::tarn::pak
