// The schema frontend: translates a Python spec into a schema tree.
#pragma once

#include <optional>

#include "py/ref.h"
#include "schema/node.h"
#include "schema/pool.h"

namespace tarmelix::frontend {

// Builds `spec` against the pool and definitions (which grow). Empty optional
// with the Python error set on failure: RecursionError when the native stack
// runs short, even below the nesting limit.
std::optional<SchemaNode> build_schema(PyObject* spec, ConstantsPool& pool,
                                       DefinitionTable& definitions);

}  // namespace tarmelix::frontend

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using frontend::build_schema;
}  // namespace tarmelix
