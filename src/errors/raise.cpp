#include "errors/raise.h"

#include <string>
#include <vector>

#include "errors/error_text.h"
#include "errors/validation_error.h"

namespace tarmelix::errors {

namespace {

py::Ref text_object(std::string_view text) {
  return py::Ref::steal(
      PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
}

// Consumes `value`; false with the error set when it is null or the store fails.
bool set_attr(PyObject* target, const char* name, py::Ref value) {
  return value && PyObject_SetAttrString(target, name, value.get()) == 0;
}

bool set_item(PyObject* dict, const char* key, py::Ref value) {
  return value && PyDict_SetItemString(dict, key, value.get()) == 0;
}

py::Ref error_dict(const ErrorRecord& record, const std::string& line) {
  py::Ref dict = py::Ref::steal(PyDict_New());
  if (!dict) return {};
  if (!set_item(dict.get(), "code", text_object(record.code)) ||
      !set_item(dict.get(), "path", path_to_tuple(record.path)) ||
      !set_item(dict.get(), "message", text_object(line)) ||
      !set_item(dict.get(), "expected", text_object(record.expected)) ||
      !set_item(dict.get(), "value", text_object(record.got)))
    return {};
  return dict;
}

}  // namespace

void raise_validation_error(const ErrorList& records) {
  ErrorList fallback;
  if (records.empty())
    fallback.push_back(ErrorRecord{{}, "a member of the schema's set", "", "validation_error"});
  const ErrorList& list = records.empty() ? fallback : records;

  std::vector<std::string> lines;
  lines.reserve(list.size());
  for (const ErrorRecord& record : list) lines.push_back(format_error_line(record));
  std::string message;
  if (lines.size() == 1) {
    message = lines[0];
  } else {
    message = std::to_string(lines.size()) + " validation errors:";
    for (const std::string& line : lines) {
      message += '\n';
      message += line;
    }
  }

  PyObject* type = validation_error_type();
  if (!type) return;
  py::Ref text = text_object(message);
  if (!text) return;
  py::Ref exc = py::Ref::steal(PyObject_CallOneArg(type, text.get()));
  if (!exc) return;

  const ErrorRecord& first = list.front();
  PyObject* e = exc.get();
  if (!set_attr(e, "code", text_object(first.code)) ||
      !set_attr(e, "expected", text_object(first.expected)) ||
      !set_attr(e, "value", text_object(first.got)) ||
      !set_attr(e, "message", text_object(lines[0])) ||
      !set_attr(e, "path", path_to_tuple(first.path)))
    return;
  py::Ref errors = py::Ref::steal(PyTuple_New(static_cast<Py_ssize_t>(list.size())));
  if (!errors) return;
  for (size_t i = 0; i < list.size(); ++i) {
    py::Ref dict = error_dict(list[i], lines[i]);
    if (!dict) return;
    PyTuple_SET_ITEM(errors.get(), static_cast<Py_ssize_t>(i), dict.release());
  }
  if (!set_attr(e, "errors", std::move(errors))) return;
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(e)), e);
}

}  // namespace tarmelix::errors
