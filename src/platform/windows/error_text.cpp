#include "platform/error_text.h"

#include <string.h>

namespace quellan::platform {

std::string describe_error_number(int error_number) {
  char buffer[256];
  // The runtime's strerror shares one buffer among callers; strerror_s fills ours.
  if (::strerror_s(buffer, sizeof buffer, error_number) != 0) return "Unknown error";
  return buffer;
}

}  // namespace quellan::platform
