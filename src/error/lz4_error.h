#pragma once

#include <cstdint>
#include <string>

namespace quellan::error {

/// Why an LZ4 block did not decode into the room it was given; kept as a value
/// and rendered as one line when the message is shown.
class Lz4Error {
 public:
  /// The block has no bytes at all, so not even its first token can be read.
  static Lz4Error empty_input() { return Lz4Error(Kind::empty_input, 0, 0); }
  /// The decoder refused the block: it is corrupt, or needs more than `capacity` bytes.
  static Lz4Error malformed(std::uint64_t capacity) { return Lz4Error(Kind::malformed, capacity, 0); }
  /// No memory could be had for `size` bytes of output.
  static Lz4Error out_of_memory(std::uint64_t size) { return Lz4Error(Kind::out_of_memory, size, 0); }
  /// The block decoded but produced fewer bytes than the structure it holds needs.
  static Lz4Error short_output(std::uint64_t produced, std::uint64_t expected) {
    return Lz4Error(Kind::short_output, expected, produced);
  }

  std::string message() const;

 private:
  enum class Kind { empty_input, malformed, out_of_memory, short_output };
  Lz4Error(Kind kind, std::uint64_t size, std::uint64_t produced)
      : kind_(kind), size_(size), produced_(produced) {}

  Kind kind_;
  std::uint64_t size_;
  std::uint64_t produced_;
};

}  // namespace quellan::error
