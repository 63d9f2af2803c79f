#include "build/frontend.h"

namespace tarmelix {

// Stub until the frontend lands.
std::optional<SchemaNode> build_schema(PyObject*, ConstantsPool&, DefinitionTable&) {
  PyErr_SetString(PyExc_NotImplementedError, "build_schema");
  return std::nullopt;
}

}  // namespace tarmelix
