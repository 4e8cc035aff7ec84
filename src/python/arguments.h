#pragma once

#include <optional>
#include <string>

#include "python/python_api.h"

namespace quellan::python {

/// Binds the single parameter `path` of a fast call with keywords (positional or
/// by keyword, nothing else) and returns its owned UTF-8 copy. `path` must be a
/// `str` or a subclass of it. On failure returns nothing with the exception set:
/// a TypeError naming `function_name`, or the interpreter's UnicodeEncodeError
/// for a string holding a lone surrogate.
[[nodiscard]] std::optional<std::string> bind_path(const char* function_name, PyObject* const* args,
                                                   Py_ssize_t nargs, PyObject* kwnames);

}  // namespace quellan::python
