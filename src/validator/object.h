// The Validator Python object: the object header followed by one core.
#pragma once

#include "py/ref.h"
#include "schema/core.h"
#include "schema/validator_object.h"

namespace tarmelix::validator {

// The Validator type, created once per process; null with the error set.
PyTypeObject* validator_type();

// Wraps a core (taken over in every case) into a new Validator.
py::Ref new_validator_object(ValidatorCore core);

// Allocates an instance of `type` (the Validator type) as object() would and
// moves the core in; the core is released when allocation fails.
py::Ref allocate_validator(PyTypeObject* type, ValidatorCore core);

// Checks the limits of a new schema and wraps it: the road of every validator
// made from a new tree. Null with the limit's ValueError (or the allocation
// error) set; everything passed in is released then.
py::Ref new_checked_validator(SchemaNode root, Constants constants, DefinitionTable definitions);

// A Validator over one node, with no constants and no definitions; no limits.
py::Ref make_node_validator(SchemaNode node);

}  // namespace tarmelix::validator
