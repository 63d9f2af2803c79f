#include "check/json.h"

#include "check/json_input.h"
#include "check/json_parse.h"
#include "check/json_invalid.h"
#include "check/json_value.h"
#include "check/validate.h"

namespace tarmelix {

py::Ref parse_json_input(PyObject* data) {
  JsonInput input = json_input_bytes(data);
  switch (input.kind) {
    case JsonInputKind::Neither:
      PyErr_SetString(PyExc_TypeError, "JSON input must be a str or bytes object");
      return {};
    case JsonInputKind::NotEncodable:
      raise_json_invalid("input string is not valid UTF-8 (contains a lone surrogate)");
      return {};
    case JsonInputKind::Bytes:
      break;
  }
  return parse_json_to_python(input.bytes);
}

py::Ref check_json_document(ValidatorCore& core, PyObject* data) {
  JsonInput input = json_input_bytes(data);
  if (input.kind != JsonInputKind::Bytes) return py::boolean(false);
  std::optional<JsonDocument> doc = parse_json_document(input.bytes);
  if (!doc) return py::boolean(false);
  // Until the in-place walk lands: the same answer through Python objects.
  py::Ref value = json_to_python(doc->root);
  if (!value) return {};
  std::optional<bool> member = check_membership(core, value.get());
  if (!member) return {};
  return py::boolean(*member);
}

}  // namespace tarmelix
