// Class forms: a dataclass or NamedTuple class becomes an Object node over its
// type hints, a TypedDict class a closed Record.
#pragma once

#include <optional>

#include "py/ref.h"
#include "schema/node.h"
#include "schema/pool.h"

namespace tarmelix::frontend {

// typing.get_type_hints(cls, include_extras=True); null with the error set.
py::Ref get_type_hints_with_extras(PyObject* cls);

// Every hint is a required field; the class is pooled before any hint.
std::optional<SchemaNode> build_class_fields(PyObject* cls, ConstantsPool& pool,
                                             DefinitionTable& definitions);

// Fields required as `__required_keys__` says; no other key admitted.
std::optional<SchemaNode> build_typed_dict(PyObject* cls, ConstantsPool& pool,
                                           DefinitionTable& definitions);

}  // namespace tarmelix::frontend
