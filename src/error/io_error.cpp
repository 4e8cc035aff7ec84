#include "error/io_error.h"

#include <cstdlib>
#include <cstring>

namespace quellan::error {

namespace {

std::string describe_error_number(int error_number) {
  char buffer[256];
  // The GNU strerror_r may return a static string instead of filling the buffer.
  return strerror_r(error_number, buffer, sizeof buffer);
}

}  // namespace

std::string IoError::message() const {
  switch (kind_) {
    case Kind::os:
      return describe_error_number(static_cast<int>(value_)) + " (os error " + std::to_string(value_) + ")";
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
