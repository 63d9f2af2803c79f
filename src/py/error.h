// Error conventions shared by every unit.
//
// A failure that Python should see is the interpreter's error indicator, set
// by the failing call and reported upward as a null Ref, false or an empty
// optional. An internal fault (a broken invariant of our own) is a C++
// exception of type Fault; the entry trap turns it into PanicException.
#pragma once

#include <stdexcept>
#include <string>

#include "py/ref.h"

namespace tarmelix::py {

struct Fault : std::runtime_error {
  using std::runtime_error::runtime_error;
};

[[noreturn]] inline void fault(const std::string& message) { throw Fault(message); }

// Takes the pending exception out of the indicator (null when none is set).
inline Ref take_exception() noexcept {
  require_interpreter();
  return Ref::steal(PyErr_GetRaisedException());
}

// Puts an exception back into the indicator, consuming the reference.
inline void restore_exception(Ref exc) noexcept {
  require_interpreter();
  PyErr_SetRaisedException(exc.release());
}

// Whether a (non-null) exception object is an instance of the given class.
inline bool exception_matches(PyObject* exc, PyObject* cls) noexcept {
  return PyErr_GivenExceptionMatches(exc, cls) != 0;
}

// MemoryError, RecursionError, or anything not derived from Exception: the
// exceptions that no step turns into an answer.
bool is_fatal_exception(PyObject* exception) noexcept;

// Clears the pending exception when it is an instance of `cls` and says
// whether it did; any other exception stays pending.
inline bool clear_if(PyObject* cls) noexcept {
  if (!PyErr_ExceptionMatches(cls)) return false;
  PyErr_Clear();
  return true;
}

// Clears the pending exception unless it is fatal; true when none is left
// pending, false when a fatal one stays for the caller to pass on.
bool clear_unless_fatal() noexcept;

// The PanicException class (a BaseException subclass), created once per
// process. Null with the indicator set when it cannot be created.
PyObject* panic_exception_type();

// Sets PanicException(message) as the pending exception.
void raise_panic(const std::string& message) noexcept;

}  // namespace tarmelix::py
