#pragma once

#include <string>

namespace quellan::platform {

/// The C runtime's own text for an error number: "No such file or directory".
std::string describe_error_number(int error_number);

}  // namespace quellan::platform
