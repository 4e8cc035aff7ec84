#pragma once

// The one way the binding includes the interpreter's API, so that every length
// it passes or receives is a Py_ssize_t.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <memory>

namespace quellan::python {

struct DecRef {
  void operator()(PyObject* object) const noexcept { Py_DECREF(object); }
};
/// A strong reference released on every way out of its scope.
using OwnedRef = std::unique_ptr<PyObject, DecRef>;

}  // namespace quellan::python
