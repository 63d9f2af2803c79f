// The entries the interpreter calls for methods and module functions: each
// runs its body through the entry trap, so no C++ exception reaches the
// interpreter, and hands a failure back as NULL with the indicator set.
#pragma once

#include "py/ref.h"
#include "py/trap.h"
#include "validator/object.h"

namespace tarmelix::validator {

// A fast-call body extracts its own arguments (py::parse_fastcall).
using FastcallBody = py::Ref (*)(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                                 PyObject* kwnames);
using NoArgsBody = py::Ref (*)(PyObject* self);

template <FastcallBody Body>
PyObject* fastcall_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                         PyObject* kwnames) noexcept {
  return py::trap_object([&] { return Body(self, args, nargsf, kwnames); });
}

template <NoArgsBody Body>
PyObject* noargs_entry(PyObject* self, PyObject*) noexcept {
  return py::trap_object([&] { return Body(self); });
}

// PyMethodDef stores every calling convention behind one pointer type.
template <class F>
PyCFunction as_method(F* function) noexcept {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

// The core of a receiver the interpreter has already type-checked.
inline ValidatorCore& core_of(PyObject* self) noexcept {
  return reinterpret_cast<ValidatorObject*>(self)->core;
}

}  // namespace tarmelix::validator
