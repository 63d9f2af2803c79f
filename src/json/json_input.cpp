#include "json/json_input.h"

#include "py/text.h"

namespace tarmelix::json {

JsonInput json_input_bytes(PyObject* data) {
  if (PyUnicode_Check(data)) {
    std::optional<std::string_view> utf8 = py::utf8_view_or_error(data);
    if (!utf8) return {PyErr_Occurred() ? JsonInputKind::Failed : JsonInputKind::NotEncodable, {}};
    return {JsonInputKind::Bytes, *utf8};
  }
  if (PyBytes_Check(data)) {
    return {JsonInputKind::Bytes,
            {PyBytes_AS_STRING(data), static_cast<size_t>(PyBytes_GET_SIZE(data))}};
  }
  return {JsonInputKind::Neither, {}};
}

}  // namespace tarmelix::json
