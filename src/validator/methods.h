// The method table of the Validator type and the module functions.
#pragma once

#include "py/ref.h"

namespace tarmelix::validator {

// The fourteen Validator methods, in table order, zero-terminated.
PyMethodDef* validator_methods();

// union, intersection, complement and recursive, in the order they are added
// to the module, zero-terminated.
PyMethodDef* module_functions();

}  // namespace tarmelix::validator
