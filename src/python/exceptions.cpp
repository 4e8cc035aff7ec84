#include "python/exceptions.h"

#include <string>

#include "python/boundary.h"

namespace quellan::python {

PyObject* raise_exception(std::string_view message) {
  OwnedRef text(PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size())));
  if (!text) return raise_panic("could not turn an error message into a str");
  // The exception object itself is made by the interpreter when it is needed.
  PyErr_SetObject(PyExc_Exception, text.get());
  return nullptr;
}

PyObject* raise_error(const error::Error& error) {
  const std::string message = error.message();
  return raise_exception(message);
}

}  // namespace quellan::python
