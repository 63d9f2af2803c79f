// The roads from specs to a new Validator: the constructor, union,
// intersection, complement and the `|` operator.
#pragma once

#include "py/ref.h"

namespace tarmelix::validator {

// The Py_tp_new slot: Validator(schema), with its own argument handling.
PyObject* validator_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept;

// The Py_nb_or slot, serving a Validator on either side.
PyObject* validator_or(PyObject* left, PyObject* right) noexcept;

// Module function bodies (self is the module, unused).
py::Ref union_function(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                       PyObject* kwnames);
py::Ref intersection_function(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                              PyObject* kwnames);
py::Ref complement_function(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                            PyObject* kwnames);
py::Ref recursive_function(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                           PyObject* kwnames);

}  // namespace tarmelix::validator
