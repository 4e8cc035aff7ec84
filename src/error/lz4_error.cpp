#include "error/lz4_error.h"

#include <cstdlib>

namespace quellan::error {

std::string Lz4Error::message() const {
  switch (kind_) {
    case Kind::empty_input:
      return "expected another byte, found none";
    case Kind::malformed:
      return "the block is corrupt or decompresses to more than " + std::to_string(size_) +
             " bytes";
    case Kind::out_of_memory:
      return "no memory for " + std::to_string(size_) + " bytes of output";
    case Kind::short_output:
      return "the block decompressed to " + std::to_string(produced_) + " bytes but " +
             std::to_string(size_) + " were declared";
  }
  std::abort();  // every enumerator returns above
}

}  // namespace quellan::error
