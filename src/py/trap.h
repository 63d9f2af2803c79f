// The entry trap: every function the interpreter calls runs its body through
// one of these, so no C++ exception unwinds into the interpreter. A Fault or
// any other std::exception becomes PanicException; running out of our own
// memory becomes MemoryError and running short of native stack RecursionError
// instead of ending the process.
#pragma once

#include <new>
#include <utility>

#include "py/error.h"
#include "py/stack.h"

namespace tarmelix::py {

namespace detail {
inline void report_caught() noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const StackExhausted& e) {
    set_stack_exhausted(e.activity);
  } catch (const std::exception& e) {
    raise_panic(e.what());
  } catch (...) {
    raise_panic("internal fault");
  }
}
}  // namespace detail

// Body returns Ref; a null Ref means the indicator is set.
template <class F>
PyObject* trap_object(F&& body) noexcept {
  try {
    return std::forward<F>(body)().release();
  } catch (...) {
    detail::report_caught();
    return nullptr;
  }
}

// Body returns an integer result where `failure` signals a set indicator
// (-1 for __contains__, __hash__ and the execution step).
template <class T, class F>
T trap_value(T failure, F&& body) noexcept {
  try {
    return std::forward<F>(body)();
  } catch (...) {
    detail::report_caught();
    return failure;
  }
}

}  // namespace tarmelix::py
