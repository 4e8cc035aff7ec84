#pragma once

#include <exception>
#include <string_view>
#include <utility>

#include "python/python_api.h"

namespace quellan::python {

/// Raises `PanicException(text)`, replacing any pending exception, and returns
/// null. `PanicException` derives from BaseException directly, so `except
/// Exception` does not swallow it. Aborts the process if even that cannot be done.
PyObject* raise_panic(std::string_view text) noexcept;

/// Called after a failed step: leaves the pending exception alone, or raises
/// SystemError when the interpreter reported a failure without setting one.
void ensure_exception_set() noexcept;

/// Runs `body`, an entry point from the interpreter, so that nothing unwinds into
/// the interpreter's frames: a C++ exception becomes `PanicException`, and a
/// `failure` result always leaves a Python exception pending.
template <class Result, class Body>
Result guard_boundary(Result failure, Body&& body) noexcept {
  try {
    Result result = std::forward<Body>(body)();
    if (result == failure) ensure_exception_set();
    return result;
  } catch (const std::exception& exception) {
    raise_panic(exception.what());
  } catch (...) {
    raise_panic("a native failure occurred in quellan_formats");
  }
  return failure;
}

}  // namespace quellan::python
