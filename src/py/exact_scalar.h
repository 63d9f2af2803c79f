// Whether a constant is of exactly one of the scalar built-ins whose
// comparisons with values of their own kind run no code of the user's.
#pragma once

#include <Python.h>

namespace tarmelix::py {

// An exact str, int, bool or float: no subclass, so no method of the user's.
inline bool is_exact_scalar(PyObject* value) {
  return PyUnicode_CheckExact(value) || PyLong_CheckExact(value) || PyBool_Check(value) ||
         PyFloat_CheckExact(value);
}

}  // namespace tarmelix::py
