#pragma once

#include <string_view>

#include "error/error.h"
#include "python/python_api.h"

namespace quellan::python {

/// Raises the built-in `Exception` itself (no subclass, no cause) whose single
/// argument is `message`, and returns null. The message may hold NUL bytes.
PyObject* raise_exception(std::string_view message);

/// Raises a library error as `Exception` carrying its one-line message.
PyObject* raise_error(const error::Error& error);

}  // namespace quellan::python
