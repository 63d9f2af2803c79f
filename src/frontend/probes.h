// Small reads and error makers of the frontend: attribute probes, field-name
// text, module imports and the exact messages for rejected specs.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "frontend/names.h"
#include "py/ref.h"

namespace tarmelix::frontend {

// Sets NotImplementedError(message): every spec form the frontend refuses.
void frontend_error(std::string_view message);

// UTF-8 text of a str (or subclass); a lone surrogate gives the record-key
// ValueError (the encoding error is discarded). Empty optional on failure.
std::optional<std::string> record_key_text(PyObject* text);

// Whether the attribute exists; AttributeError means absent, any other
// exception is left set and gives an empty optional.
std::optional<bool> get_optional_attribute(PyObject* object, Name name);

// The attribute's value, or null when the read raises (the exception is
// discarded, whatever it is).
py::Ref read_attribute_or_absent(PyObject* object, Name name);

// The attribute's value; null with the error set.
py::Ref read_attribute(PyObject* object, Name name);

// True only when the attribute reads and is true; every exception gives false.
bool attribute_is_true(PyObject* object, Name name);

// issubclass(cls, tuple); empty optional with the error set.
std::optional<bool> is_tuple_class(PyObject* cls);

// dataclasses.is_dataclass(cls) as returned; null with the error set.
py::Ref call_is_dataclass(PyObject* dataclasses, PyObject* cls);

// The module of that name (from sys.modules when it is there, else through
// PyImport_Import); null with the error set.
py::Ref import_module(Name name);

// module.name(arg); null with the error set.
py::Ref call_method_one(PyObject* module, Name name, PyObject* arg);

// TypeError "'{type}' object is not an instance of '{expected}'" (or the
// None form) for a value of the wrong built-in type.
void not_instance_error(PyObject* value, const char* expected);

}  // namespace tarmelix::frontend
