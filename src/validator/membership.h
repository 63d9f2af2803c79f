// The membership entries: validate, ensure, load, validate_json, is_valid,
// is_valid_json and the `in` operator.
#pragma once

#include "py/ref.h"

namespace tarmelix::validator {

// The Py_sq_contains slot: 1, 0, or -1 with a fatal exception set.
int validator_contains(PyObject* self, PyObject* value) noexcept;

// Fast-call method bodies.
py::Ref validate_method(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                        PyObject* kwnames);
py::Ref is_valid_method(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                        PyObject* kwnames);
py::Ref ensure_method(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                      PyObject* kwnames);
py::Ref validate_json_method(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                             PyObject* kwnames);
py::Ref load_method(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                    PyObject* kwnames);
py::Ref is_valid_json_method(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                             PyObject* kwnames);

}  // namespace tarmelix::validator
