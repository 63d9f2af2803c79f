#include "render/preview.h"

#include "render/bounded_repr.h"
#include "render/utf8_text.h"

namespace tarmelix::render {

namespace {

// The UTF-8 form of a str; a lone surrogate, which has none, becomes three
// U+FFFD, as a lenient decode of its surrogate-passing bytes would give.
std::string str_text(PyObject* s) {
  Py_ssize_t size = 0;
  if (const char* utf8 = PyUnicode_AsUTF8AndSize(s, &size)) return std::string(utf8, size);
  PyErr_Clear();  // no UTF-8: spelled out below
  std::string out;
  const int kind = PyUnicode_KIND(s);
  const void* data = PyUnicode_DATA(s);
  const Py_ssize_t length = PyUnicode_GET_LENGTH(s);
  for (Py_ssize_t i = 0; i < length; ++i) {
    const Py_UCS4 cp = PyUnicode_READ(kind, data, i);
    if (cp >= 0xD800 && cp <= 0xDFFF) {
      out += "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD";
    } else {
      append_utf8(out, cp);
    }
  }
  return out;
}

// A repr result that is a str subclass is shown through its own str(); when
// that raises, the failure goes to the unraisable hook.
std::string repr_result_text(PyObject* result) {
  if (PyUnicode_CheckExact(result)) return str_text(result);
  py::Ref shown = py::Ref::steal(PyObject_Str(result));
  if (shown) return str_text(shown.get());
  PyErr_WriteUnraisable(result);
  py::Ref type_name = py::Ref::steal(PyType_GetName(Py_TYPE(result)));
  if (type_name && PyUnicode_Check(type_name.get())) {
    Py_ssize_t size = 0;
    if (const char* utf8 = PyUnicode_AsUTF8AndSize(type_name.get(), &size))
      return "<unprintable " + std::string(utf8, size) + " object>";
  }
  PyErr_Clear();  // a preview never raises
  return "<unprintable object>";
}

}  // namespace

std::string preview_repr(PyObject* value) {
  // A built-in container or text is written only as far as it is shown.
  if (has_bounded_repr(value)) {
    std::optional<std::string> text = bounded_repr(value, GOT_TEXT_CHARS);
    if (!text) {
      // As repr raising would be: the preview never fails.
      PyErr_Clear();
      return "<unrepresentable>";
    }
    return truncate_chars(*text, GOT_TEXT_CHARS);
  }
  py::Ref repr = py::Ref::steal(PyObject_Repr(value));
  if (!repr) {
    PyErr_Clear();  // a preview never raises, whatever repr raised
    return "<unrepresentable>";
  }
  return truncate_chars(repr_result_text(repr.get()), GOT_TEXT_CHARS);
}

std::string render_class_name(PyObject* cls) {
  py::Ref name = py::Ref::steal(PyObject_GetAttrString(cls, "__name__"));
  if (name && PyUnicode_Check(name.get())) {
    Py_ssize_t size = 0;
    if (const char* utf8 = PyUnicode_AsUTF8AndSize(name.get(), &size))
      return std::string(utf8, size);
  }
  PyErr_Clear();  // a preview never raises: the repr stands in for the name
  return preview_repr(cls);
}

}  // namespace tarmelix::render
