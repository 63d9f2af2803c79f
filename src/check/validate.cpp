#include "check/validate.h"

namespace tarmelix {

// Stubs until the walk lands.
void ensure_walk_plan(ValidatorCore&) {}

bool validate_value(ValidatorCore&, PyObject*, WalkMode) {
  PyErr_SetString(PyExc_NotImplementedError, "validate");
  return false;
}

std::optional<bool> check_membership(ValidatorCore&, PyObject*) {
  PyErr_SetString(PyExc_NotImplementedError, "is_valid");
  return std::nullopt;
}

std::optional<bool> check_node_membership(const SchemaNode&, const Constants&,
                                          const DefinitionTable&, PyObject*) {
  PyErr_SetString(PyExc_NotImplementedError, "is_valid");
  return std::nullopt;
}

}  // namespace tarmelix
