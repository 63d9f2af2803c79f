#include "validator/object.h"

#include <new>
#include <utility>

#include "py/once.h"
#include "validator/combinators.h"
#include "validator/identity.h"
#include "validator/membership.h"
#include "validator/methods.h"
#include "validator/docstrings.h"

namespace tarmelix::validator {

namespace {

void dealloc_validator(PyObject* self) {
  // A heap type's instances each hold a reference to it, dropped last.
  py::Ref type = py::Ref::steal(reinterpret_cast<PyObject*>(Py_TYPE(self)));
  std::launder(&reinterpret_cast<ValidatorObject*>(self)->core)->~ValidatorCore();
  Py_TYPE(self)->tp_free(self);
}

py::Ref create_validator_type() {
  static PyType_Slot slots[] = {
      {Py_tp_doc, const_cast<char*>(doc::VALIDATOR)},
      {Py_tp_new, reinterpret_cast<void*>(validator_new)},
      {Py_tp_repr, reinterpret_cast<void*>(validator_repr)},
      {Py_sq_contains, reinterpret_cast<void*>(validator_contains)},
      {Py_tp_hash, reinterpret_cast<void*>(validator_hash)},
      {Py_nb_or, reinterpret_cast<void*>(validator_or)},
      {Py_tp_richcompare, reinterpret_cast<void*>(validator_richcompare)},
      {Py_tp_dealloc, reinterpret_cast<void*>(dealloc_validator)},
      {Py_tp_methods, validator_methods()},
      {0, nullptr},
  };
  static PyType_Spec spec = {
      "tarmelix._tarmelix.Validator",
      static_cast<int>(sizeof(ValidatorObject)),
      0,
      Py_TPFLAGS_DEFAULT,
      slots,
  };
  return py::Ref::steal(PyType_FromSpec(&spec));
}

}  // namespace

PyTypeObject* validator_type() {
  const py::Ref* type = schema::validator_type_cell().get_or_init([]() -> std::optional<py::Ref> {
    py::Ref t = create_validator_type();
    if (!t) return std::nullopt;
    return t;
  });
  return type ? reinterpret_cast<PyTypeObject*>(type->get()) : nullptr;
}

py::Ref allocate_validator(PyTypeObject* type, ValidatorCore core) {
  py::Ref empty = py::Ref::steal(PyTuple_New(0));
  if (!empty) return {};
  // As object() allocates: through the type's tp_alloc.
  py::Ref object = py::Ref::steal(PyBaseObject_Type.tp_new(type, empty.get(), nullptr));
  if (!object) return {};  // `core` is released on return
  new (&reinterpret_cast<ValidatorObject*>(object.get())->core) ValidatorCore(std::move(core));
  return object;
}

py::Ref new_validator_object(ValidatorCore core) {
  PyTypeObject* type = validator_type();
  if (!type) return {};
  return allocate_validator(type, std::move(core));
}

py::Ref new_checked_validator(SchemaNode root, Constants constants, DefinitionTable definitions) {
  std::optional<ValidatorCore> core =
      check_limits(std::move(root), std::move(constants), std::move(definitions));
  if (!core) return {};
  return new_validator_object(std::move(*core));
}

py::Ref make_node_validator(SchemaNode node) {
  return new_validator_object(ValidatorCore({}, {}, std::move(node)));
}

}  // namespace tarmelix::validator
