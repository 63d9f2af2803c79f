// The membership walk over Python values. The JSON walk calls back into it for
// the Python value it converts under Literal, Instance, Object and Constrained
// nodes, sharing one WalkContext.
#pragma once

#include "check/walk_context.h"

namespace tarmelix::check {

// The answer of a kind that looks only at the value's type, or -1 for a
// kind that needs more. Runs no Python code.
inline int scalar_test(NodeKind kind, PyObject* v) {
  switch (kind) {
    case NodeKind::Anything:
    case NodeKind::Any:
      return 1;
    case NodeKind::Nothing:
      return 0;
    case NodeKind::NoneValue:
      return v == Py_None;
    case NodeKind::Bool:
      return Py_IS_TYPE(v, &PyBool_Type);
    case NodeKind::Int:
      return PyLong_Check(v) ? 1 : 0;
    case NodeKind::Float:
      return PyFloat_Check(v) ? 1 : 0;
    case NodeKind::Str:
      return PyUnicode_Check(v) ? 1 : 0;
    case NodeKind::Bytes:
      return PyBytes_Check(v) ? 1 : 0;
    default:
      return -1;
  }
}

// Whether `value` (borrowed) is a member of `node`. In a recording mode the
// failures are appended to `errors`, each with a copy of its path (`path`
// and the segments below it). Never leaves a Python exception pending: ordinary ones fold to
// non-membership, fatal ones go to the context's slot and raise the stop flag.
// Internal faults (a dict or set changed by user code) throw py::Fault.
bool walk_value(const SchemaNode& node, PyObject* value, const WalkPath& path, const WalkContext& ctx,
                ErrorList& errors);

}  // namespace tarmelix::check

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using check::walk_value;
}  // namespace tarmelix
