#include "build/recursive.h"

namespace tarmelix {

// Stub until recursive schemas land.
py::Ref recursive_validator(PyObject*) {
  PyErr_SetString(PyExc_NotImplementedError, "recursive");
  return {};
}

}  // namespace tarmelix
