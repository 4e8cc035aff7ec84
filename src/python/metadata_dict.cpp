#include "python/metadata_dict.h"

#include <cstdint>
#include <string>
#include <string_view>

#include "python/boundary.h"

namespace quellan::python {

namespace {

static_assert(sizeof(long) == sizeof(std::int64_t), "Version64 is handed over as a C long");

// Takes the text by value so that its buffer is released as soon as the str exists.
PyObject* text_value(std::string text) {
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

}  // namespace

PyObject* module_info_to_dict(tarn::pak::ModuleInfo info) {
  OwnedRef dict(PyDict_New());
  if (!dict) return raise_panic("could not create the metadata dict");
  // Short-circuiting stops at the first failed entry; later values are never made.
  const bool filled =
      set_entry(dict.get(), "Folder", text_value(std::move(info.folder))) &&
      set_entry(dict.get(), "MD5", text_value(std::move(info.md5))) &&
      set_entry(dict.get(), "Name", text_value(std::move(info.name))) &&
      set_entry(dict.get(), "PublishHandle", PyLong_FromUnsignedLongLong(info.publish_handle)) &&
      set_entry(dict.get(), "UUID", text_value(std::move(info.uuid))) &&
      set_entry(dict.get(), "Version64", PyLong_FromLong(info.version));
  return filled ? dict.release() : nullptr;
}

}  // namespace quellan::python
