// A Validator's value semantics: copies, comparison, hash and repr.
#pragma once

#include <cstdint>

#include "py/ref.h"
#include "schema/core.h"

namespace tarmelix::validator {

// The type slots.
PyObject* validator_repr(PyObject* self) noexcept;
Py_hash_t validator_hash(PyObject* self) noexcept;
PyObject* validator_richcompare(PyObject* self, PyObject* other, int op) noexcept;

// Method bodies: __copy__() and __deepcopy__(_memo).
py::Ref copy_method(PyObject* self);
py::Ref deepcopy_method(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                        PyObject* kwnames);

// The structural hash of a core: never -1; constants take no part.
Py_hash_t hash_core(const ValidatorCore& core);

}  // namespace tarmelix::validator
