#include "python/boundary.h"
#include "python/functions.h"
#include "python/python_api.h"
#include "python/registration.h"

namespace {

// Registers the functions in order; the first failure stops the import, and
// whatever was registered before it stays.
int exec_module(PyObject* module) {
  return quellan::python::guard_boundary(-1, [module] {
    // Without a module the interpreter has left the reason pending.
    if (module == nullptr) return -1;
    if (!PyModule_Check(module)) {
      PyErr_Format(PyExc_TypeError, "'%s' object is not an instance of 'module'", Py_TYPE(module)->tp_name);
      return -1;
    }
    for (PyMethodDef& definition : quellan::python::module_functions()) {
      if (!quellan::python::add_function(module, definition)) return -1;
    }
    return 0;
  });
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    {0, nullptr},
};

// No state, no methods of its own: the exec step adds the functions. The empty
// docstring makes `__doc__` "" rather than None.
PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT, "quellan_formats", "", 0, nullptr, module_slots, nullptr, nullptr, nullptr,
};

}  // namespace

PyMODINIT_FUNC PyInit_quellan_formats() { return PyModuleDef_Init(&module_definition); }
