#pragma once

#include <cstdint>
#include <string>

namespace quellan::error {

/// Why an LZ4 block did not decode into the room it was given; kept as a value
/// and rendered as one line when the message is shown. The first five are the
/// decoder's own failures, each named by the rule the block broke.
class Lz4Error {
 public:
  /// A copy would end at output position `expected`, past the `capacity` bytes of room.
  static Lz4Error output_too_small(std::uint64_t capacity, std::uint64_t expected) {
    return Lz4Error(Kind::output_too_small, capacity, expected);
  }
  /// A literal run reaches past the end of the block.
  static Lz4Error literal_out_of_bounds() { return Lz4Error(Kind::literal_out_of_bounds, 0, 0); }
  /// The block ends where a token, a length byte or an offset byte is needed.
  static Lz4Error expected_another_byte() { return Lz4Error(Kind::expected_another_byte, 0, 0); }
  /// A match has the offset 0.
  static Lz4Error zero_offset() { return Lz4Error(Kind::zero_offset, 0, 0); }
  /// A match reaches back before the first byte of the output.
  static Lz4Error offset_outside_output() { return Lz4Error(Kind::offset_outside_output, 0, 0); }
  /// No memory could be had for `size` bytes of output.
  static Lz4Error out_of_memory(std::uint64_t size) { return Lz4Error(Kind::out_of_memory, size, 0); }
  /// The block decoded but produced fewer bytes than the structure it holds needs.
  static Lz4Error short_output(std::uint64_t produced, std::uint64_t expected) {
    return Lz4Error(Kind::short_output, expected, produced);
  }
  /// The block decoded to `records` records, more than the `limit` that are read.
  static Lz4Error too_many_records(std::uint64_t records, std::uint64_t limit) {
    return Lz4Error(Kind::too_many_records, limit, records);
  }

  std::string message() const;

  bool operator==(const Lz4Error&) const = default;

 private:
  enum class Kind {
    output_too_small,
    literal_out_of_bounds,
    expected_another_byte,
    zero_offset,
    offset_outside_output,
    out_of_memory,
    short_output,
    too_many_records,
  };
  Lz4Error(Kind kind, std::uint64_t size, std::uint64_t other) : kind_(kind), size_(size), other_(other) {}

  Kind kind_;
  std::uint64_t size_;   // the capacity, the size asked for, the size expected, or the limit
  std::uint64_t other_;  // the position expected, the bytes produced, or the records
};

}  // namespace quellan::error
