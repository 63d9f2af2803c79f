// The ValidationError exception type, created once per process.
#pragma once

#include "py/ref.h"

namespace tarmelix {

// Borrowed; null with the error set only when creation fails.
PyObject* validation_error_type();

}  // namespace tarmelix
