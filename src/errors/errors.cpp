#include "errors/errors.h"

namespace tarmelix {

// Stubs until the error records land.
const char* kind_error_code(const SchemaNode&) { return "error"; }
const char* kind_display_name(const SchemaNode&) { return "value"; }
std::string format_error_line(const ErrorRecord& r) {
  return "expected " + r.expected + ", got " + r.got + " [" + r.code + "]";
}
void raise_validation_error(const ErrorList&) {
  PyErr_SetString(PyExc_NotImplementedError, "ValidationError");
}

}  // namespace tarmelix
