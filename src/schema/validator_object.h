// The layout of a Validator object and the cell of its type: what the
// frontend reads of an embedded validator, below the module surface that
// creates the type.
#pragma once

#include "py/once.h"
#include "py/ref.h"
#include "schema/core.h"

namespace tarmelix::schema {

struct ValidatorObject {
  PyObject_HEAD
  ValidatorCore core;
};

// The process-wide cell of the Validator type; the module surface fills it.
py::OnceCell<py::Ref>& validator_type_cell();

// The object's core when it is a Validator (or a subtype), else null. Sets
// no error: before the type exists no object can be a Validator.
ValidatorCore* extract_validator_core(PyObject* object);

}  // namespace tarmelix::schema

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using schema::ValidatorObject;
using schema::extract_validator_core;
}  // namespace tarmelix
