#include "python/arguments.h"

#include "python/boundary.h"

namespace quellan::python {

namespace {

// The argument object for `path`, borrowed from the call, or null with TypeError
// set. Keywords are checked in the order the caller gave them.
PyObject* path_argument(const char* function_name, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames) {
  if (nargs > 1) {
    // Two or more arguments reach here, so the verb is always plural.
    PyErr_Format(PyExc_TypeError, "%s() takes 1 positional arguments but %zd were given", function_name, nargs);
    return nullptr;
  }
  PyObject* path = nargs == 1 ? args[0] : nullptr;
  const Py_ssize_t keyword_count = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
  for (Py_ssize_t i = 0; i < keyword_count; ++i) {
    PyObject* keyword = PyTuple_GET_ITEM(kwnames, i);
    if (PyUnicode_CompareWithASCIIString(keyword, "path") != 0) {
      PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", function_name, keyword);
      return nullptr;
    }
    if (path != nullptr) {
      PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument 'path'", function_name);
      return nullptr;
    }
    path = args[nargs + i];
  }
  if (path == nullptr) {
    PyErr_Format(PyExc_TypeError, "%s() missing 1 required positional argument: 'path'", function_name);
  }
  return path;
}

// The `__qualname__` of the object's type as a new reference, or a fixed text
// when the type will not tell it (a metaclass may make the lookup fail).
PyObject* type_qualified_name(PyObject* object) {
  OwnedRef name(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(object)), "__qualname__"));
  if (name && PyUnicode_Check(name.get())) return name.release();
  PyErr_Clear();
  return PyUnicode_FromString("<failed to extract type name>");
}

void raise_not_a_str(PyObject* object) {
  if (object == Py_None) {
    PyErr_SetString(PyExc_TypeError, "argument 'path': 'None' is not an instance of 'str'");
    return;
  }
  OwnedRef type_name(type_qualified_name(object));
  if (!type_name) {
    raise_panic("could not create the name of the argument's type");
    return;
  }
  PyErr_Format(PyExc_TypeError, "argument 'path': '%U' object is not an instance of 'str'", type_name.get());
}

std::optional<std::string> utf8_copy(PyObject* path) {
  if (!PyUnicode_Check(path)) {
    raise_not_a_str(path);
    return std::nullopt;
  }
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(path, &size);
  if (utf8 == nullptr) return std::nullopt;
  return std::string(utf8, static_cast<std::size_t>(size));
}

}  // namespace

std::optional<std::string> bind_path(const char* function_name, PyObject* const* args, Py_ssize_t nargs,
                                     PyObject* kwnames) {
  PyObject* path = path_argument(function_name, args, nargs, kwnames);
  if (path == nullptr) return std::nullopt;
  return utf8_copy(path);
}

}  // namespace quellan::python
