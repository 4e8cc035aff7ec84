#pragma once

#include <span>

#include "python/python_api.h"

namespace quellan::python {

/// The definitions of the module's functions, in registration order:
/// `is_override`, then `get_metadata_for_file`. They live as long as the process,
/// since function objects refer to them.
std::span<PyMethodDef> module_functions();

}  // namespace quellan::python
