#include "schema/validator_object.h"

#include <new>

namespace tarmelix::schema {

// Leaked on purpose: the type outlives every module object made from the definition.
py::OnceCell<py::Ref>& validator_type_cell() {
  static py::OnceCell<py::Ref>* cell = new py::OnceCell<py::Ref>();
  return *cell;
}

ValidatorCore* extract_validator_core(PyObject* object) {
  const py::Ref* type = validator_type_cell().get_if_filled();
  if (!type || !PyObject_TypeCheck(object, reinterpret_cast<PyTypeObject*>(type->get())))
    return nullptr;
  return std::launder(&reinterpret_cast<ValidatorObject*>(object)->core);
}

}  // namespace tarmelix::schema
