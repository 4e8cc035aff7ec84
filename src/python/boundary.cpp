#include "python/boundary.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace quellan::python {

namespace {

[[noreturn]] void abort_at_boundary() noexcept {
  std::fputs("uncaught panic at ffi boundary\n", stderr);
  std::abort();
}

// One class for the whole process, made on first use; the interpreter lock
// serialises that first use.
PyObject* panic_exception_class() noexcept {
  static PyObject* panic_class = nullptr;
  if (panic_class == nullptr) {
    panic_class = PyErr_NewExceptionWithDoc(
        "quellan_formats.PanicException",
        "An internal failure of quellan_formats: a broken invariant or an object the "
        "interpreter could not create. Not a subclass of Exception.",
        PyExc_BaseException, nullptr);
  }
  return panic_class;
}

}  // namespace

PyObject* raise_exception(std::string_view message) {
  OwnedRef text(PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size())));
  if (!text) return raise_panic("could not turn an error message into a str");
  // The exception object itself is made by the interpreter when it is needed.
  PyErr_SetObject(PyExc_Exception, text.get());
  return nullptr;
}

PyObject* raise_panic(std::string_view text) noexcept {
  PyErr_Clear();
  PyObject* panic_class = panic_exception_class();
  if (panic_class == nullptr) abort_at_boundary();
  OwnedRef message(PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
  if (!message) abort_at_boundary();
  PyErr_SetObject(panic_class, message.get());
  return nullptr;
}

void ensure_exception_set() noexcept {
  if (PyErr_Occurred() == nullptr) {
    PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
  }
}

}  // namespace quellan::python
