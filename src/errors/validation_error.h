// The ValidationError exception type, created once per process.
#pragma once

#include "py/ref.h"

namespace tarmelix::errors {

// Borrowed; null with the error set only when creation fails: the
// interpreter's MemoryError, or PanicException for any other failure.
PyObject* validation_error_type();

}  // namespace tarmelix::errors

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using errors::validation_error_type;
}  // namespace tarmelix
