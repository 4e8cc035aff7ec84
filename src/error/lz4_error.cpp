#include "error/lz4_error.h"

#include <cstdlib>

namespace quellan::error {

std::string Lz4Error::message() const {
  switch (kind_) {
    case Kind::output_too_small:
      return "provided output is too small for the decompressed data, actual " + std::to_string(size_) +
             ", expected " + std::to_string(other_);
    case Kind::literal_out_of_bounds:
      return "literal is out of bounds of the input";
    case Kind::expected_another_byte:
      return "expected another byte, found none";
    case Kind::zero_offset:
      return "0 is not a valid match offset";
    case Kind::offset_outside_output:
      return "the offset to copy is not contained in the decompressed buffer";
    case Kind::out_of_memory:
      return "no memory for " + std::to_string(size_) + " bytes of output";
    case Kind::short_output:
      return "the block decompressed to " + std::to_string(other_) + " bytes but " + std::to_string(size_) +
             " were declared";
    case Kind::too_many_records:
      return "the table holds " + std::to_string(other_) + " records, more than the " + std::to_string(size_) +
             " allowed";
  }
  std::abort();  // every enumerator returns above
}

}  // namespace quellan::error
