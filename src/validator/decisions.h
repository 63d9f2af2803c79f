// The reasoning entries: is_empty, is_subtype_of, is_equivalent, and the
// rewrites open, close and simplify.
#pragma once

#include "py/ref.h"

namespace tarmelix::validator {

py::Ref is_empty_method(PyObject* self);
py::Ref is_subtype_of_method(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                             PyObject* kwnames);
py::Ref is_equivalent_method(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                             PyObject* kwnames);
py::Ref open_method(PyObject* self);
py::Ref close_method(PyObject* self);
py::Ref simplify_method(PyObject* self);

}  // namespace tarmelix::validator
