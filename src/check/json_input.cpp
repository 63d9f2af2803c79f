#include "check/json_input.h"

namespace tarmelix {

JsonInput json_input_bytes(PyObject* data) {
  if (PyUnicode_Check(data)) {
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(data, &size);
    if (!utf8) {
      PyErr_Clear();
      return {JsonInputKind::NotEncodable, {}};
    }
    return {JsonInputKind::Bytes, {utf8, static_cast<size_t>(size)}};
  }
  if (PyBytes_Check(data)) {
    return {JsonInputKind::Bytes,
            {PyBytes_AS_STRING(data), static_cast<size_t>(PyBytes_GET_SIZE(data))}};
  }
  return {JsonInputKind::Neither, {}};
}

}  // namespace tarmelix
