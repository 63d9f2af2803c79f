// recursive(builder): ties a fixpoint through a placeholder validator.
#pragma once

#include "py/ref.h"

namespace tarmelix::validator {

// The body of the module function; a new Validator or null with the error set.
py::Ref recursive_validator(PyObject* builder);

}  // namespace tarmelix::validator
