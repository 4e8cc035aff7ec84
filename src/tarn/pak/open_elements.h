#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace quellan::tarn::pak {

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
  void push(std::size_t offset);

  /// Closes the innermost element; there must be one.
  void pop();

 private:
  // The groups of one distance are stored low group first; only the first byte of
  // each distance has its high bit set, so that `pop` finds where the last began.
  static constexpr std::uint8_t FIRST_GROUP = 0x80;

  std::vector<std::uint8_t> distances_;
  std::optional<std::size_t> innermost_;
};

}  // namespace quellan::tarn::pak
