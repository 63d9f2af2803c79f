// A dict literal as a Record: str keys name fields (a trailing "?" makes one
// optional), every other key is a spec of its own and makes a key/value clause.
#pragma once

#include <optional>

#include "py/ref.h"
#include "schema/node.h"
#include "schema/pool.h"

namespace tarmelix::frontend {

// Empty optional with the error set; a dict changed while it is read is a
// py::Fault.
std::optional<SchemaNode> build_dict_literal(PyObject* dict, ConstantsPool& pool,
                                             DefinitionTable& definitions);

}  // namespace tarmelix::frontend
