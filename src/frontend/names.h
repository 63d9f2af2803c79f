// The attribute, function and module names the frontend reads for nearly
// every spec, made into interned str objects once per process.
#pragma once

#include <cstdint>

#include "py/ref.h"

namespace tarmelix {

enum class Name : uint8_t {
  Metadata,
  Origin,
  Value,
  Supertype,
  RequiredKeys,
  Fields,
  IsProtocol,
  IsRuntimeProtocol,
  Pattern,
  Ge,
  Gt,
  Le,
  Lt,
  MinLength,
  MaxLength,
  MultipleOf,
  Func,
  GetOrigin,
  GetArgs,
  GetTypeHints,
  IsDataclass,
  TypeVar,
  ParamSpec,
  TypeVarTuple,
  SpecialForm,
  Required,
  NotRequired,
  Typing,
  Dataclasses,
  Count,
};

// Borrowed interned str for `name`; null with the error set when the table
// cannot be made.
PyObject* name_object(Name name);

}  // namespace tarmelix
