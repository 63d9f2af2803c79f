// Specs with a typing origin (list[T], dict[K, V], tuple[...], unions,
// Literal, Callable, Required/NotRequired) and list literals.
#pragma once

#include <optional>

#include "py/ref.h"
#include "schema/node.h"
#include "schema/pool.h"

namespace tarmelix::frontend {

// `args` is a tuple (or subclass). Empty optional with the error set.
std::optional<SchemaNode> build_typing_form(PyObject* origin, PyObject* args, ConstantsPool& pool,
                                            DefinitionTable& definitions);

// A list object used as a spec.
std::optional<SchemaNode> build_list_literal(PyObject* list, ConstantsPool& pool,
                                             DefinitionTable& definitions);

// The only element of `args` (new reference), or the one-argument rejection.
py::Ref take_single_type_argument(PyObject* args);

}  // namespace tarmelix::frontend
