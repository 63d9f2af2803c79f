// Annotated[T, m1, m2, ...]: the metadata objects become constraints that
// refine the node of T.
#pragma once

#include <optional>

#include "py/ref.h"
#include "schema/node.h"
#include "schema/pool.h"

namespace tarmelix::frontend {

// `metadata` is a tuple (or subclass). With no constraint gathered the result
// is the node of `origin` itself. Empty optional with the error set.
std::optional<SchemaNode> build_annotated(PyObject* origin, PyObject* metadata,
                                          ConstantsPool& pool, DefinitionTable& definitions);

}  // namespace tarmelix::frontend
