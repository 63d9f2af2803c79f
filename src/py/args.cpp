#include "py/args.h"

#include "py/error.h"

#include <cstring>
#include <string>
#include <vector>

namespace tarmelix::py {

namespace {

bool set_type_error(const std::string& text) {
  PyErr_SetString(PyExc_TypeError, text.c_str());
  return false;
}

bool name_equals(PyObject* name, const char* expected) {
  if (!PyUnicode_Check(name)) return false;
  return PyUnicode_CompareWithASCIIString(name, expected) == 0;
}

}  // namespace

bool parse_fastcall(const FunctionDesc& desc, PyObject* const* args, Py_ssize_t nargsf,
                    PyObject* kwnames, ParsedArgs& out) {
  const Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
  const size_t npos = desc.positional.size();
  const size_t given = static_cast<size_t>(nargs);
  if (given > npos && !desc.varargs) {
    return set_type_error(std::string(desc.full_name) + " takes " + std::to_string(npos) +
                          " positional arguments but " + std::to_string(given) + " " +
                          (given == 1 ? "was" : "were") + " given");
  }
  const size_t used = given < npos ? given : npos;
  for (size_t i = 0; i < used; ++i) out.values[i] = args[i];
  if (desc.varargs) {
    Ref tuple = Ref::steal(PyTuple_New(static_cast<Py_ssize_t>(given - used)));
    if (!tuple) return false;
    for (size_t i = used; i < given; ++i) {
      PyTuple_SET_ITEM(tuple.get(), static_cast<Py_ssize_t>(i - used), Py_NewRef(args[i]));
    }
    out.varargs = std::move(tuple);
  }
  if (kwnames) {
    const Py_ssize_t nkw = PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t k = 0; k < nkw; ++k) {
      PyObject* name = PyTuple_GET_ITEM(kwnames, k);
      PyObject* value = args[nargs + k];
      size_t slot = SIZE_MAX;
      const char* pname = nullptr;
      for (size_t j = 0; j < desc.keyword_only.size() && slot == SIZE_MAX; ++j) {
        if (name_equals(name, desc.keyword_only[j])) {
          slot = npos + j;
          pname = desc.keyword_only[j];
        }
      }
      for (size_t j = 0; j < npos && slot == SIZE_MAX; ++j) {
        if (name_equals(name, desc.positional[j])) {
          slot = j;
          pname = desc.positional[j];
        }
      }
      if (slot == SIZE_MAX) {
        Ref text = Ref::steal(PyObject_Str(name));
        if (!text) return false;
        // Formatted as a str: a name with a lone surrogate has no UTF-8 form.
        PyErr_Format(PyExc_TypeError, "%s got an unexpected keyword argument '%U'",
                     desc.full_name, text.get());
        return false;
      }
      if (out.values[slot]) {
        return set_type_error(std::string(desc.full_name) + " got multiple values for argument '" +
                              pname + "'");
      }
      out.values[slot] = value;
    }
  }
  size_t missing = 0;
  std::string names;
  for (size_t i = 0; i < npos; ++i) {
    if (out.values[i]) continue;
    ++missing;
    if (!names.empty()) names += ", ";
    names += std::string("'") + desc.positional[i] + "'";
  }
  if (missing) {
    return set_type_error(std::string(desc.full_name) + " missing " + std::to_string(missing) +
                          " required positional " + (missing == 1 ? "argument" : "arguments") +
                          ": " + names);
  }
  return true;
}

bool parse_tuple_and_dict(const FunctionDesc& desc, PyObject* args, PyObject* kwargs,
                          ParsedArgs& out) {
  const Py_ssize_t nargs = args ? PyTuple_GET_SIZE(args) : 0;
  const Py_ssize_t nkw = kwargs ? PyDict_GET_SIZE(kwargs) : 0;
  std::vector<PyObject*> flat;
  flat.reserve(static_cast<size_t>(nargs + nkw));
  for (Py_ssize_t i = 0; i < nargs; ++i) flat.push_back(PyTuple_GET_ITEM(args, i));
  Ref kwnames;
  if (nkw > 0) {
    kwnames = Ref::steal(PyTuple_New(nkw));
    if (!kwnames) return false;
    Py_ssize_t pos = 0;
    Py_ssize_t k = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    // Nothing runs between the steps, so the dict cannot change under us.
    while (k < nkw && PyDict_Next(kwargs, &pos, &key, &value)) {
      PyTuple_SET_ITEM(kwnames.get(), k++, Ref::borrow(key).release());
      flat.push_back(value);
    }
  }
  return parse_fastcall(desc, flat.data(), nargs, kwnames.get(), out);
}

namespace {

// A type whose names cannot be read is not numpy's; a fatal exception of the
// read stays pending and gives an empty optional.
std::optional<bool> type_is_numpy_bool(PyTypeObject* type) {
  Ref module = Ref::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), "__module__"));
  if (!module) {
    if (!clear_unless_fatal()) return std::nullopt;
    return false;
  }
  if (!PyUnicode_Check(module.get()) || PyUnicode_CompareWithASCIIString(module.get(), "numpy") != 0)
    return false;
  Ref name = Ref::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), "__name__"));
  if (!name) {
    if (!clear_unless_fatal()) return std::nullopt;
    return false;
  }
  return PyUnicode_Check(name.get()) &&
         (PyUnicode_CompareWithASCIIString(name.get(), "bool_") == 0 ||
          PyUnicode_CompareWithASCIIString(name.get(), "bool") == 0);
}

std::optional<bool> convert_bool(PyObject* value) {
  PyTypeObject* type = Py_TYPE(value);
  if (type == &PyBool_Type) return value == Py_True;
  std::optional<bool> numpy_bool = type_is_numpy_bool(type);
  if (!numpy_bool) return std::nullopt;
  if (*numpy_bool) {
    inquiry nb_bool = type->tp_as_number ? type->tp_as_number->nb_bool : nullptr;
    if (!nb_bool) {
      Ref text = Ref::steal(PyObject_Str(reinterpret_cast<PyObject*>(type)));
      const char* utf8 = text ? PyUnicode_AsUTF8(text.get()) : nullptr;
      if (!utf8) return std::nullopt;
      PyErr_Format(PyExc_TypeError, "object of type '%s' does not define a '__bool__' conversion",
                   utf8);
      return std::nullopt;
    }
    int r = nb_bool(value);
    if (r < 0) return std::nullopt;
    return r != 0;
  }
  Ref qualname = Ref::steal(PyType_GetQualName(type));
  if (!qualname) {
    // The TypeError is the answer either way; only its name falls back.
    PyErr_Clear();
    PyErr_SetString(PyExc_TypeError,
                    "'<failed to extract type name>' object is not an instance of 'bool'");
    return std::nullopt;
  }
  PyErr_Format(PyExc_TypeError, "'%U' object is not an instance of 'bool'", qualname.get());
  return std::nullopt;
}

}  // namespace

std::optional<bool> convert_bool_argument(PyObject* value, const char* param_name) {
  std::optional<bool> result = convert_bool(value);
  if (result) return result;
  Ref exc = take_exception();
  Ref note = Ref::steal(PyUnicode_FromFormat("while processing '%s'", param_name));
  if (note && exc) {
    PyObject* call_args[2] = {exc.get(), note.get()};
    Ref name = Ref::steal(PyUnicode_FromString("add_note"));
    Ref r = name ? Ref::steal(PyObject_VectorcallMethod(
                       name.get(), call_args, 2 | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr))
                 : Ref();
    // A note that cannot be added leaves the exception as it was.
    if (!r) PyErr_Clear();
  } else {
    PyErr_Clear();  // no note could be made: the exception goes on without one
  }
  restore_exception(std::move(exc));
  return std::nullopt;
}

}  // namespace tarmelix::py
