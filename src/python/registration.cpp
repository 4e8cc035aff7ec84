#include "python/registration.h"

#include "python/boundary.h"

namespace quellan::python {

namespace {

// Interned once per process under the interpreter lock and never released.
PyObject* interned(PyObject*& cache, const char* text) {
  if (cache == nullptr) cache = PyUnicode_InternFromString(text);
  return cache;
}

PyObject* name_key() {
  static PyObject* cache = nullptr;
  return interned(cache, "__name__");
}

PyObject* all_key() {
  static PyObject* cache = nullptr;
  return interned(cache, "__all__");
}

// The module's `__all__` as a new reference, made an empty list if it is missing.
PyObject* all_list(PyObject* module) {
  PyObject* key = all_key();
  if (key == nullptr) return nullptr;
  OwnedRef all(PyObject_GetAttr(module, key));
  if (!all) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return nullptr;
    PyErr_Clear();
    all.reset(PyList_New(0));
    if (!all || PyObject_SetAttr(module, key, all.get()) != 0) return nullptr;
  }
  if (!PyList_Check(all.get())) {
    PyErr_SetString(PyExc_TypeError, "__all__ must be a list");
    return nullptr;
  }
  return all.release();
}

// The function's `__name__` as a new reference; it must be a str.
PyObject* function_name(PyObject* function) {
  PyObject* key = name_key();
  if (key == nullptr) return nullptr;
  OwnedRef name(PyObject_GetAttr(function, key));
  if (name && !PyUnicode_Check(name.get())) {
    PyErr_SetString(PyExc_TypeError, "__name__ must be a str");
    return nullptr;
  }
  return name.release();
}

}  // namespace

bool add_function(PyObject* module, PyMethodDef& definition) {
  OwnedRef module_name(PyModule_GetNameObject(module));
  if (!module_name) return false;
  OwnedRef function(PyCMethod_New(&definition, module, module_name.get(), nullptr));
  if (!function) return false;
  OwnedRef name(function_name(function.get()));
  if (!name) return false;
  OwnedRef all(all_list(module));
  if (!all) return false;
  if (PyList_Append(all.get(), name.get()) != 0) {
    raise_panic("could not append __name__ to __all__");
    return false;
  }
  return PyObject_SetAttr(module, name.get(), function.get()) == 0;
}

}  // namespace quellan::python
