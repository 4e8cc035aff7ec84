#include "error/io_error.h"

#include <cstdlib>

#include "platform/error_text.h"

namespace quellan::error {

std::string IoError::message() const {
  switch (kind_) {
    case Kind::os:
      return platform::describe_error_number(static_cast<int>(value_)) + " (os error " + std::to_string(value_) + ")";
    case Kind::unexpected_eof:
      return "failed to fill whole buffer";
    case Kind::corrupt_deflate:
      return "corrupt deflate stream";
    case Kind::nul_in_path:
      return "file name contained an unexpected NUL byte";
    case Kind::output_limit:
      return "the data decompresses to more than the " + std::to_string(value_) + " bytes allowed";
    case Kind::stored_limit:
      return "the data is more than the " + std::to_string(value_) + " bytes allowed";
    case Kind::not_regular_file:
      return "not a regular file";
  }
  std::abort();  // every enumerator returns above
}

}  // namespace quellan::error
