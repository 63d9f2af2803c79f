#include "check/json.h"

namespace tarmelix {

// Stubs until the JSON paths land.
py::Ref parse_json_input(PyObject*) {
  PyErr_SetString(PyExc_NotImplementedError, "load");
  return {};
}

py::Ref check_json_document(ValidatorCore&, PyObject*) {
  PyErr_SetString(PyExc_NotImplementedError, "is_valid_json");
  return {};
}

}  // namespace tarmelix
