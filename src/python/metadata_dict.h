#pragma once

#include "python/python_api.h"
#include "tarn/pak/metadata.h"

namespace quellan::python {

/// A new dict of the six entries Python callers get, in this order: "Folder",
/// "MD5", "Name", "PublishHandle", "UUID", "Version64". Text fields are moved
/// out of `info` as they are converted. A failed insertion returns null with the
/// interpreter's exception; an object that cannot be created is a panic.
PyObject* module_info_to_dict(tarn::pak::ModuleInfo info);

}  // namespace quellan::python
