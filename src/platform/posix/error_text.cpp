#include "platform/error_text.h"

#include <cstring>

namespace quellan::platform {

std::string describe_error_number(int error_number) {
  char buffer[256];
  // The GNU strerror_r may return a static string instead of filling the buffer.
  return strerror_r(error_number, buffer, sizeof buffer);
}

}  // namespace quellan::platform
