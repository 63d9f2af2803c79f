// Argument extraction for METH_FASTCALL | METH_KEYWORDS callables, with the
// exact TypeError texts users see for malformed calls.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <span>

#include "py/error.h"
#include "py/ref.h"

namespace tarmelix::py {

// How many named parameters a ParsedArgs holds.
inline constexpr size_t kMaxParameters = 4;

struct FunctionDesc {
  const char* full_name;                     // "Validator.validate()" or "union()"
  std::span<const char* const> positional;   // all required
  std::span<const char* const> keyword_only; // all optional
  bool varargs = false;                      // extra positionals go to *schemas

  // Declared constexpr, a description with more parameters than ParsedArgs
  // holds does not compile; made at run time, it faults before any parse
  // could write past the end.
  constexpr FunctionDesc(const char* name, std::span<const char* const> pos,
                         std::span<const char* const> kw, bool var = false)
      : full_name(name), positional(pos), keyword_only(kw), varargs(var) {
    if (pos.size() + kw.size() > kMaxParameters) {
      fault("argument description has more parameters than ParsedArgs holds");
    }
  }
};

struct ParsedArgs {
  // Borrowed; positional parameters first, then keyword-only ones. An absent
  // keyword-only argument is null.
  PyObject* values[kMaxParameters] = {};
  Ref varargs;  // a tuple when the callable takes *schemas
};

// False with a TypeError set when the call does not fit the description.
bool parse_fastcall(const FunctionDesc& desc, PyObject* const* args, Py_ssize_t nargsf,
                    PyObject* kwnames, ParsedArgs& out);

// The same for a tuple and dict call (tp_new): the dict's keys are the
// keyword names. The values stay borrowed from `args` and `kwargs`.
bool parse_tuple_and_dict(const FunctionDesc& desc, PyObject* args, PyObject* kwargs,
                          ParsedArgs& out);

// The fail_fast conversion: exact bool, numpy's bool, else TypeError with the
// note "while processing 'fail_fast'". Empty optional with the error set.
std::optional<bool> convert_bool_argument(PyObject* value, const char* param_name);

}  // namespace tarmelix::py
