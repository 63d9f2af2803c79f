// The module entry: the definition of _tarmelix and its one execution step,
// which adds the eleven public names in order, each also listed in __all__.
#include "errors/validation_error.h"
#include "py/error.h"
#include "py/trap.h"
#include "schema/measure.h"
#include "validator/docstrings.h"
#include "validator/methods.h"
#include "validator/object.h"

namespace tarmelix::validator {

namespace {

// Sets `name` on the module and appends it to the module's __all__ (made on
// the first call). False with the error set.
bool add_public(PyObject* module, PyObject* name, PyObject* value) {
  py::Ref all_name = py::Ref::steal(PyUnicode_InternFromString("__all__"));
  if (!all_name) return false;
  py::Ref all = py::Ref::steal(PyObject_GetAttr(module, all_name.get()));
  if (!all) {
    if (!py::clear_if(PyExc_AttributeError)) return false;
    all = py::Ref::steal(PyList_New(0));
    if (!all || PyObject_SetAttr(module, all_name.get(), all.get()) < 0) return false;
  }
  if (!PyList_Check(all.get())) py::fault("could not append __name__ to __all__");
  // Appending to a list fails only for want of memory: that MemoryError.
  if (PyList_Append(all.get(), name) < 0) return false;
  return PyObject_SetAttr(module, name, value) == 0;
}

bool add_public(PyObject* module, const char* name, PyObject* value) {
  py::Ref text = py::Ref::steal(PyUnicode_FromString(name));
  return text && add_public(module, text.get(), value);
}

// The Validator type, or a RuntimeError whose cause is the creation failure.
PyObject* validator_type_for_module() {
  PyTypeObject* type = validator_type();
  if (type) return reinterpret_cast<PyObject*>(type);
  py::Ref cause = py::take_exception();
  PyErr_SetString(PyExc_RuntimeError, "An error occurred while initializing class Validator");
  py::Ref error = py::take_exception();
  PyException_SetCause(error.get(), cause.release());
  py::restore_exception(std::move(error));
  return nullptr;
}

bool add_function(PyObject* module, PyMethodDef* def) {
  py::Ref module_name = py::Ref::steal(PyModule_GetNameObject(module));
  if (!module_name) return false;
  py::Ref function = py::Ref::steal(PyCMethod_New(def, module, module_name.get(), nullptr));
  if (!function) return false;
  py::Ref name = py::Ref::steal(PyObject_GetAttrString(function.get(), "__name__"));
  if (!name) return false;
  if (!PyUnicode_Check(name.get())) {
    PyErr_SetString(PyExc_TypeError, "function __name__ is not a str");
    return false;
  }
  return add_public(module, name.get(), function.get());
}

bool add_limit(PyObject* module, const char* name, uint64_t value) {
  py::Ref number = py::Ref::steal(PyLong_FromUnsignedLongLong(value));
  return number && add_public(module, name, number.get());
}

bool init_module(PyObject* module) {
  PyObject* error_type = validation_error_type();
  if (!error_type || !add_public(module, "ValidationError", error_type)) return false;
  PyObject* type = validator_type_for_module();
  if (!type || !add_public(module, "Validator", type)) return false;
  for (PyMethodDef* def = module_functions(); def->ml_name; ++def) {
    if (!add_function(module, def)) return false;
  }
  py::Ref anything = make_node_validator(make_leaf(NodeKind::Anything));
  if (!anything || !add_public(module, "anything", anything.get())) return false;
  py::Ref nothing = make_node_validator(make_leaf(NodeKind::Nothing));
  if (!nothing || !add_public(module, "nothing", nothing.get())) return false;
  return add_limit(module, "MAX_SCHEMA_DEPTH", MAX_SCHEMA_DEPTH) &&
         add_limit(module, "MAX_DEFINITIONS", MAX_DEFINITIONS) &&
         add_limit(module, "MAX_SCHEMA_NODES", MAX_SCHEMA_NODES);
}

int exec_module(PyObject* module) noexcept {
  return py::trap_value(-1, [&] { return init_module(module) ? 0 : -1; });
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "_tarmelix", doc::MODULE, 0, nullptr, module_slots,
    nullptr,               nullptr,     nullptr,
};

}  // namespace

}  // namespace tarmelix::validator

PyMODINIT_FUNC PyInit__tarmelix() { return PyModuleDef_Init(&tarmelix::validator::module_def); }
