#pragma once

// How failures leave the module for the interpreter: a library error's message
// as the built-in Exception, an internal failure as PanicException, and the
// guard that keeps C++ exceptions out of the interpreter's frames.

// Every length the binding passes to or receives from the interpreter is a
// Py_ssize_t.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <exception>
#include <memory>
#include <string_view>
#include <utility>


namespace quellan::python {

struct DecRef {
  void operator()(PyObject* object) const noexcept { Py_DECREF(object); }
};
/// A strong reference released on every way out of its scope.
using OwnedRef = std::unique_ptr<PyObject, DecRef>;

/// Raises the built-in `Exception` itself (no subclass, no cause) whose single
/// argument is `message`, and returns null. The message may hold NUL bytes.
PyObject* raise_exception(std::string_view message);

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
