// Whether issubclass(S, T) proves that every instance of S is an instance of
// T. It does only where both instance checks follow the class hierarchy:
// a structural check (a runtime-checkable protocol, a metaclass with an
// instance or subclass check of its own, an ABC hook that inspects methods)
// can admit a class that a subclass then breaks (a method set to None), so
// such a class proves nothing except into itself or object.
#pragma once

#include <cstdint>

#include "py/ref.h"

namespace tarmelix::reasoning {

enum class ClassInclusion : uint8_t { Proven, Unproven, Failed };

// `sub` and `sup` are the pooled classes, issubclass(sub, sup) already true.
// Failed with the indicator set when a lookup raised.
ClassInclusion nominal_class_inclusion(PyObject* sub, PyObject* sup);

}  // namespace tarmelix::reasoning
