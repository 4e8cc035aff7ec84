#pragma once

#include "python/python_api.h"

namespace quellan::python {

/// Creates the function of `definition` bound to `module`, appends its name to
/// the module's `__all__` (created as a list if missing) and sets it as a module
/// attribute. Returns false with an exception set: TypeError when `__all__` is
/// not a list, `PanicException` when the append fails.
[[nodiscard]] bool add_function(PyObject* module, PyMethodDef& definition);

}  // namespace quellan::python
