#include "errors/validation_error.h"

#include "py/error.h"
#include "py/once.h"

namespace tarmelix::errors {

namespace {

const char VALIDATION_ERROR_DOC[] = "Raised when a value is not a member of a schema's set.";

// Leaked on purpose: the type outlives every module object made from the definition.
py::OnceCell<py::Ref>& validation_error_cell() {
  static py::OnceCell<py::Ref>* cell = new py::OnceCell<py::Ref>();
  return *cell;
}
}  // namespace

PyObject* validation_error_type() {
  const py::Ref* type = validation_error_cell().get_or_init([]() -> std::optional<py::Ref> {
    py::Ref t = py::Ref::steal(PyErr_NewExceptionWithDoc(
        "_tarmelix.ValidationError", VALIDATION_ERROR_DOC, PyExc_Exception, nullptr));
    if (!t) return std::nullopt;
    return t;
  });
  if (type) return type->get();
  // Running out of memory is the interpreter's MemoryError, not a fault.
  if (!PyErr_ExceptionMatches(PyExc_MemoryError))
    py::raise_panic("Failed to initialize new exception type.");
  return nullptr;
}

}  // namespace tarmelix::errors
