#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace {

int exec_module(PyObject*) { return 0; }

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    {0, nullptr},
};

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT, "quellan_formats", "", 0, nullptr, module_slots, nullptr, nullptr, nullptr,
};

}  // namespace

PyMODINIT_FUNC PyInit_quellan_formats() { return PyModuleDef_Init(&module_definition); }
