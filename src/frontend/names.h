// The attribute, function and module names the frontend reads for nearly
// every spec, made into interned str objects once per process.
#pragma once

#include <cstdint>

#include "py/ref.h"

// One entry per name: the enumerator and the text it stands for.
#define TARMELIX_FRONTEND_NAMES(X) \
  X(Metadata,          "__metadata__") \
  X(Origin,            "__origin__") \
  X(Value,             "__value__") \
  X(Supertype,         "__supertype__") \
  X(RequiredKeys,      "__required_keys__") \
  X(DataclassFields,   "__dataclass_fields__") \
  X(Fields,            "_fields") \
  X(IsProtocol,        "_is_protocol") \
  X(IsRuntimeProtocol, "_is_runtime_protocol") \
  X(Pattern,           "pattern") \
  X(Ge,                "ge") \
  X(Gt,                "gt") \
  X(Le,                "le") \
  X(Lt,                "lt") \
  X(MinLength,         "min_length") \
  X(MaxLength,         "max_length") \
  X(MultipleOf,        "multiple_of") \
  X(Func,              "func") \
  X(GetOrigin,         "get_origin") \
  X(GetArgs,           "get_args") \
  X(GetTypeHints,      "get_type_hints") \
  X(IsDataclass,       "is_dataclass") \
  X(TypeVar,           "TypeVar") \
  X(ParamSpec,         "ParamSpec") \
  X(TypeVarTuple,      "TypeVarTuple") \
  X(SpecialForm,       "_SpecialForm") \
  X(Required,          "Required") \
  X(NotRequired,       "NotRequired") \
  X(Typing,            "typing") \
  X(Dataclasses,       "dataclasses")

namespace tarmelix::frontend {

#define TARMELIX_NAME_ENUMERATOR(name, text) name,
enum class Name : uint8_t { TARMELIX_FRONTEND_NAMES(TARMELIX_NAME_ENUMERATOR) Count };
#undef TARMELIX_NAME_ENUMERATOR

// Borrowed interned str for `name`; null with the error set when the table
// cannot be made.
PyObject* name_object(Name name);

}  // namespace tarmelix::frontend
