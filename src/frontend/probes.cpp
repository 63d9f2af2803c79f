#include "frontend/probes.h"

#include "py/error.h"
#include "py/text.h"

namespace tarmelix::frontend {

void frontend_error(std::string_view message) {
  py::Ref text = py::Ref::steal(
      PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size())));
  if (!text) return;
  PyErr_SetObject(PyExc_NotImplementedError, text.get());
}

std::optional<std::string> record_key_text(PyObject* text) {
  std::optional<std::string_view> utf8 = py::utf8_view_or_error(text);
  if (!utf8) {
    if (PyErr_Occurred()) return std::nullopt;
    PyErr_SetString(PyExc_ValueError,
                    "a record key must be valid Unicode; a field name cannot contain a lone "
                    "surrogate");
    return std::nullopt;
  }
  return std::string(*utf8);
}

namespace {

// The attribute, null when absent (AttributeError cleared), or null with an
// error set; `failed` tells the two apart.
py::Ref lookup_attribute(PyObject* object, Name name, bool& failed) {
  failed = false;
  PyObject* key = name_object(name);
  if (!key) {
    failed = true;
    return {};
  }
  PyObject* value = nullptr;
#if PY_VERSION_HEX >= 0x030D0000
  int found = PyObject_GetOptionalAttr(object, key, &value);
#else
  // Same outcome as a read that clears AttributeError, without building it.
  int found = _PyObject_LookupAttr(object, key, &value);
#endif
  if (found < 0) failed = true;
  return py::Ref::steal(value);
}

}  // namespace

std::optional<bool> get_optional_attribute(PyObject* object, Name name) {
  bool failed = false;
  py::Ref value = lookup_attribute(object, name, failed);
  if (failed) return std::nullopt;
  return static_cast<bool>(value);
}

py::Ref read_attribute(PyObject* object, Name name) {
  PyObject* key = name_object(name);
  if (!key) return {};
  return py::Ref::steal(PyObject_GetAttr(object, key));
}

py::Ref read_attribute_or_absent(PyObject* object, Name name) {
  py::Ref value = read_attribute(object, name);
  // Read only where any failure means absent (Annotated metadata, the names
  // looked up in typing, the protocol markers), whatever it raised.
  if (!value) PyErr_Clear();
  return value;
}

bool attribute_is_true(PyObject* object, Name name) {
  py::Ref value = read_attribute_or_absent(object, name);
  if (!value) return false;
  int truth = PyObject_IsTrue(value.get());
  if (truth < 0) {
    PyErr_Clear();  // a marker that cannot be tested is not set
    return false;
  }
  return truth == 1;
}

std::optional<bool> is_tuple_class(PyObject* cls) {
  int r = PyObject_IsSubclass(cls, reinterpret_cast<PyObject*>(&PyTuple_Type));
  if (r < 0) return std::nullopt;
  return r == 1;
}

py::Ref call_method_one(PyObject* module, Name name, PyObject* arg) {
  PyObject* method = name_object(name);
  if (!method) return {};
  PyObject* args[2] = {module, arg};
  return py::Ref::steal(
      PyObject_VectorcallMethod(method, args, 2 | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr));
}

py::Ref call_is_dataclass(PyObject* dataclasses, PyObject* cls) {
  return call_method_one(dataclasses, Name::IsDataclass, cls);
}

py::Ref import_module(Name name) {
  PyObject* text = name_object(name);
  if (!text) return {};
  // The frontend asks for these modules once per spec; an entry already in
  // sys.modules is what the import would return, without its machinery.
  py::Ref loaded = py::Ref::steal(PyImport_GetModule(text));
  if (loaded || PyErr_Occurred()) return loaded;
  return py::Ref::steal(PyImport_Import(text));
}

void not_instance_error(PyObject* value, const char* expected) {
  if (value == Py_None) {
    PyErr_Format(PyExc_TypeError, "'None' is not an instance of '%s'", expected);
    return;
  }
  py::Ref qualname = py::Ref::steal(PyType_GetQualName(Py_TYPE(value)));
  if (!qualname) {
    // The TypeError is the answer either way; only its name falls back.
    PyErr_Clear();
    PyErr_Format(PyExc_TypeError, "'<failed to extract type name>' object is not an instance of '%s'",
                 expected);
    return;
  }
  PyErr_Format(PyExc_TypeError, "'%U' object is not an instance of '%s'", qualname.get(), expected);
}

}  // namespace tarmelix::frontend
