// The quellan_formats extension module: `is_override(path)` and
// `get_metadata_for_file(path)` over the package reader.
//
// Laid out as CPython's own extension modules are: the helpers (argument
// binding, the metadata dict), the functions, the method table, the exec step
// and its slots, the module definition, and the init function.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "python/boundary.h"
#include "raw/voka/read/mod_info.h"
#include "raw/voka/read/override.h"

namespace quellan::python {

namespace {

// ---------------------------------------------------------------------------
// Argument binding: one parameter, `path`, a str given positionally or by keyword.

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

// A str or a subclass of it, copied out as UTF-8; a lone surrogate leaves the
// interpreter's UnicodeEncodeError pending.
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

// The owned UTF-8 copy of `path`, or nothing with the exception set.
std::optional<std::string> bind_path(const char* function_name, PyObject* const* args, Py_ssize_t nargs,
                                     PyObject* kwnames) {
  PyObject* path = path_argument(function_name, args, nargs, kwnames);
  if (path == nullptr) return std::nullopt;
  return utf8_copy(path);
}

// ---------------------------------------------------------------------------
// The metadata dict.

static_assert(sizeof(long long) == sizeof(std::int64_t), "Version64 is handed over as a C long long");

PyObject* text_value(std::string_view text) {
  return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

// Takes over `value` (a new reference or null) and stores it under `key`.
bool set_entry(PyObject* dict, std::string_view key, PyObject* value) {
  OwnedRef owned_value(value);
  OwnedRef owned_key(PyUnicode_FromStringAndSize(key.data(), static_cast<Py_ssize_t>(key.size())));
  if (!owned_value || !owned_key) {
    raise_panic("could not create a metadata entry for the dict");
    return false;
  }
  return PyDict_SetItem(dict, owned_key.get(), owned_value.get()) == 0;
}

// A new dict of the six entries Python callers get, in this order. A failed
// insertion returns null with the interpreter's exception; an object that
// cannot be created is a panic.
PyObject* module_info_to_dict(const tarn::pak::ModuleInfo& info) {
  OwnedRef dict(PyDict_New());
  if (!dict) return raise_panic("could not create the metadata dict");
  // Short-circuiting stops at the first failed entry; later values are never made.
  const bool filled =
      set_entry(dict.get(), "Folder", text_value(info.folder)) &&
      set_entry(dict.get(), "MD5", text_value(info.md5.view())) &&
      set_entry(dict.get(), "Name", text_value(info.name)) &&
      set_entry(dict.get(), "PublishHandle", PyLong_FromUnsignedLongLong(info.publish_handle)) &&
      set_entry(dict.get(), "UUID", text_value(info.uuid.view())) &&
      set_entry(dict.get(), "Version64", PyLong_FromLongLong(info.version));
  return filled ? dict.release() : nullptr;
}

// ---------------------------------------------------------------------------
// The functions.

// A package that cannot be read counts as an override package: its error is
// dropped without being rendered, so is_override never raises for a package.
PyObject* override_answer(std::string path) {
  return PyBool_FromLong(raw::voka::read::is_override(std::move(path)).value_or(true));
}

PyObject* metadata_dict_for(std::string path) {
  // Python sees the module's own fields only, so dependency records are not kept.
  // Only the first description is kept: any more make the call fail anyway.
  auto metadata_or_err = raw::voka::read::get_first_mod_info_from_pak(
      std::move(path), tarn::pak::DependencyRecords::drop);
  if (!metadata_or_err) return raise_exception(metadata_or_err.error().message());
  raw::voka::read::FirstModInfo& metadata = *metadata_or_err;
  if (metadata.count >= 2) return raise_exception("multiple meta.kvt in .pak");
  if (!metadata.first) return raise_exception("no mod info found");
  return module_info_to_dict(metadata.first->module_info);
}

// The interpreter lock stays held for the whole library call, reading and
// decompressing included: the module promises callers that no other Python thread
// runs in the middle of a call, so there is no Py_BEGIN_ALLOW_THREADS here.
template <PyObject* (*answer)(std::string)>
PyObject* call_with_path(const char* function_name, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return guard_boundary<PyObject*>(nullptr, [&]() -> PyObject* {
    std::optional<std::string> path = bind_path(function_name, args, nargs, kwnames);
    if (!path) return nullptr;
    return answer(std::move(*path));
  });
}

PyObject* is_override(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return call_with_path<override_answer>("is_override", args, nargs, kwnames);
}

PyObject* get_metadata_for_file(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return call_with_path<metadata_dict_for>("get_metadata_for_file", args, nargs, kwnames);
}

// ---------------------------------------------------------------------------
// The method table, in registration order. The exec step makes the function
// objects, which refer to these definitions for the life of the process.

// The definitions store fast-call handlers behind the generic function pointer type.
template <class Handler>
PyCFunction as_cfunction(Handler handler) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(handler));
}

// The documentation is a text signature alone, so `__doc__` is None and
// `__text_signature__` is "(path)".
PyMethodDef module_functions[] = {
    {"is_override", as_cfunction(is_override), METH_FASTCALL | METH_KEYWORDS, "is_override(path)\n--\n\n"},
    {"get_metadata_for_file", as_cfunction(get_metadata_for_file), METH_FASTCALL | METH_KEYWORDS,
     "get_metadata_for_file(path)\n--\n\n"},
};

// ---------------------------------------------------------------------------
// The exec step.

// The module's `__all__` as a new reference, made an empty list if it is missing.
PyObject* all_list(PyObject* module) {
  OwnedRef all(PyObject_GetAttrString(module, "__all__"));
  if (!all) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return nullptr;
    PyErr_Clear();
    all.reset(PyList_New(0));
    if (!all || PyObject_SetAttrString(module, "__all__", all.get()) != 0) return nullptr;
  }
  if (!PyList_Check(all.get())) {
    PyErr_SetString(PyExc_TypeError, "__all__ must be a list");
    return nullptr;
  }
  return all.release();
}

// The function's `__name__` as a new reference; it must be a str.
PyObject* function_name(PyObject* function) {
  OwnedRef name(PyObject_GetAttrString(function, "__name__"));
  if (name && !PyUnicode_Check(name.get())) {
    PyErr_SetString(PyExc_TypeError, "__name__ must be a str");
    return nullptr;
  }
  return name.release();
}

// Creates the function of `definition` bound to `module`, appends its name to
// the module's `__all__` and sets it as a module attribute. Returns false with
// an exception set: TypeError when `__all__` is not a list, PanicException when
// the append fails.
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

// Registers the functions in order; the first failure stops the import, and
// whatever was registered before it stays.
int exec_module(PyObject* module) {
  return guard_boundary(-1, [module] {
    // Without a module the interpreter has left the reason pending.
    if (module == nullptr) return -1;
    if (!PyModule_Check(module)) {
      PyErr_Format(PyExc_TypeError, "'%s' object is not an instance of 'module'", Py_TYPE(module)->tp_name);
      return -1;
    }
    for (PyMethodDef& definition : module_functions) {
      if (!add_function(module, definition)) return -1;
    }
    return 0;
  });
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    {0, nullptr},
};

// ---------------------------------------------------------------------------
// The module definition.

PyModuleDef module_definition = {
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = "quellan_formats",
    // Empty rather than null, so that `__doc__` is "" and not None.
    .m_doc = "",
    // No state of its own, so nothing to traverse, clear or free either.
    .m_size = 0,
    // The exec step adds the functions.
    .m_methods = nullptr,
    .m_slots = module_slots,
    .m_traverse = nullptr,
    .m_clear = nullptr,
    .m_free = nullptr,
};

}  // namespace

}  // namespace quellan::python

PyMODINIT_FUNC PyInit_quellan_formats() { return PyModuleDef_Init(&quellan::python::module_definition); }
