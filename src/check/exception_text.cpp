#include "check/exception_text.h"

#include "py/error.h"

namespace tarmelix::check {

std::optional<std::string> utf8_replacing(PyObject* text) {
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(text, &size);
  if (utf8) return std::string(utf8, static_cast<size_t>(size));
  if (!py::clear_if(PyExc_UnicodeEncodeError)) return std::nullopt;
  py::Ref raw = py::Ref::steal(PyUnicode_AsEncodedString(text, "utf-8", "surrogatepass"));
  if (!raw) {
    py::clear_unless_fatal();
    return std::nullopt;
  }
  py::Ref fixed = py::Ref::steal(
      PyUnicode_DecodeUTF8(PyBytes_AS_STRING(raw.get()), PyBytes_GET_SIZE(raw.get()), "replace"));
  utf8 = fixed ? PyUnicode_AsUTF8AndSize(fixed.get(), &size) : nullptr;
  if (!utf8) {
    py::clear_unless_fatal();
    return std::nullopt;
  }
  return std::string(utf8, static_cast<size_t>(size));
}

std::string exception_text(PyObject* exception) {
  std::string text;
  py::Ref name = py::Ref::steal(PyType_GetQualName(Py_TYPE(exception)));
  if (name) {
    if (auto utf8 = utf8_replacing(name.get())) text = *utf8;
  } else {
    py::clear_unless_fatal();
  }
  if (PyErr_Occurred()) return text;  // fatal: the caller passes it on
  py::Ref str = py::Ref::steal(PyObject_Str(exception));
  std::optional<std::string> body;
  if (str) {
    body = utf8_replacing(str.get());
  } else if (!py::clear_unless_fatal()) {
    return text;
  }
  text += ": ";
  text += body ? *body : std::string("<exception str() failed>");
  return text;
}

}  // namespace tarmelix::check
