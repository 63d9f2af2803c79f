#include "errors/raise.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "errors/error_text.h"
#include "errors/validation_error.h"
#include "py/collector_pause.h"
#include "py/once.h"

namespace tarmelix::errors {

namespace {

// Consumes `value`; false with the error set when it is null or the store fails.
bool set_attr(PyObject* target, const char* name, py::Ref value) {
  return value && PyObject_SetAttrString(target, name, value.get()) == 0;
}

// The keys of an error dict, in their order there, made once as interned
// str objects: a long error list would otherwise make five keys a record.
enum ErrorKey : size_t { Code, Path, Message, Expected, Value, KeyCount };
using ErrorKeys = std::array<py::Ref, KeyCount>;

std::optional<ErrorKeys> make_error_keys() {
  static constexpr std::array<const char*, KeyCount> texts = {"code", "path", "message",
                                                              "expected", "value"};
  ErrorKeys keys;
  for (size_t i = 0; i < KeyCount; ++i) {
    keys[i] = py::Ref::steal(PyUnicode_InternFromString(texts[i]));
    if (!keys[i]) return std::nullopt;
  }
  return keys;
}

// Leaked on purpose: it must outlive the interpreter's finalisation.
const ErrorKeys* error_keys() {
  static auto* cell = new py::OnceCell<ErrorKeys>();
  return cell->get_or_init(make_error_keys);
}

bool set_item(PyObject* dict, const ErrorKeys& keys, ErrorKey key, py::Ref value) {
  return value && PyDict_SetItem(dict, keys[key].get(), value.get()) == 0;
}

py::Ref error_dict(const ErrorKeys& keys, const ErrorRecord& record, const std::string& line,
                   TextObjects& texts) {
  py::Ref dict = py::Ref::steal(PyDict_New());
  if (!dict) return {};
  PyObject* d = dict.get();
  if (!set_item(d, keys, Code, texts.get(record.code)) ||
      !set_item(d, keys, Path, path_to_tuple(record.path, texts)) ||
      !set_item(d, keys, Message, text_object(line)) ||
      !set_item(d, keys, Expected, texts.get(record.expected)) ||
      !set_item(d, keys, Value, texts.get(record.got)))
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
  TextObjects texts;
  if (!set_attr(e, "code", texts.get(first.code)) ||
      !set_attr(e, "expected", texts.get(first.expected)) ||
      !set_attr(e, "value", texts.get(first.got)) ||
      !set_attr(e, "message", text_object(lines[0])) ||
      !set_attr(e, "path", path_to_tuple(first.path, texts)))
    return;
  const ErrorKeys* keys = error_keys();
  if (!keys) return;
  py::Ref errors = py::Ref::steal(PyTuple_New(static_cast<Py_ssize_t>(list.size())));
  if (!errors) return;
  {
    // The dicts, their texts and paths: acyclic containers, and no Python
    // code runs while they are made.
    py::CollectorPaused paused;
    for (size_t i = 0; i < list.size(); ++i) {
      py::Ref dict = error_dict(*keys, list[i], lines[i], texts);
      if (!dict) return;
      PyTuple_SET_ITEM(errors.get(), static_cast<Py_ssize_t>(i), dict.release());
    }
  }
  if (!set_attr(e, "errors", std::move(errors))) return;
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(e)), e);
}

}  // namespace tarmelix::errors
