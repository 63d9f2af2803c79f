// The process-wide objects of typing, types, builtins, enum and
// collections.abc that the frontend compares specs with by identity.
#pragma once

#include "py/ref.h"

namespace tarmelix::schema {

struct TypingCache {
  py::Ref Any, Union, Optional, UnionType, Literal, object, Enum, Callable, Ellipsis;
  py::Ref Never, NoReturn, TypeAliasType;  // may be null (absent)
};

// Filled once per process; null with the indicator set when the attempt fails.
const TypingCache* typing_cache();

// Whether `object` is the Ellipsis object (false when the cache cannot fill).
bool is_ellipsis(PyObject* object);

}  // namespace tarmelix::schema
