#include "python/functions.h"

#include <optional>
#include <string>
#include <utility>

#include "python/arguments.h"
#include "python/boundary.h"
#include "python/exceptions.h"
#include "python/metadata_dict.h"
#include "raw/voka/read/mod_info.h"
#include "raw/voka/read/override.h"

namespace quellan::python {

namespace {

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
  if (!metadata_or_err) return raise_error(metadata_or_err.error());
  raw::voka::read::FirstModInfo& metadata = *metadata_or_err;
  if (metadata.count >= 2) return raise_exception("multiple meta.kvt in .pak");
  if (!metadata.first) return raise_exception("no mod info found");
  return module_info_to_dict(std::move(metadata.first->module_info));
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

// The definitions store fast-call handlers behind the generic function pointer type.
template <class Handler>
PyCFunction as_cfunction(Handler handler) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(handler));
}

// The documentation is a text signature alone, so `__doc__` is None and
// `__text_signature__` is "(path)".
PyMethodDef function_definitions[] = {
    {"is_override", as_cfunction(is_override), METH_FASTCALL | METH_KEYWORDS, "is_override(path)\n--\n\n"},
    {"get_metadata_for_file", as_cfunction(get_metadata_for_file), METH_FASTCALL | METH_KEYWORDS,
     "get_metadata_for_file(path)\n--\n\n"},
};

}  // namespace

std::span<PyMethodDef> module_functions() { return function_definitions; }

}  // namespace quellan::python
