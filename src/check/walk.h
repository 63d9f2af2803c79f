// The membership walk over Python values. The JSON walk calls back into it for
// the Python value it converts under Literal, Instance, Object and Constrained
// nodes, sharing one WalkContext.
#pragma once

#include "check/walk_context.h"
#include "errors/build_record.h"

namespace tarmelix {

// Whether `value` (borrowed) is a member of `node`. In a recording mode the
// failures are appended to `errors` with copies of `path`; `path` is the same
// on return. Never leaves a Python exception pending: ordinary ones fold to
// non-membership, fatal ones go to the context's slot and raise the stop flag.
// Internal faults (a dict or set changed by user code) throw py::Fault.
bool walk_value(const SchemaNode& node, PyObject* value, Path& path, const WalkContext& ctx,
                ErrorList& errors);

// A record at a copy of `path`, got = got_text(value). Callers make it only
// in a recording mode.
ErrorRecord make_error_record(const char* code, std::string_view expected, PyObject* value,
                              const Path& path);

// The kind record of a node that rejects the value: its code and display name.
void push_kind_error(const SchemaNode& node, PyObject* value, const Path& path,
                     const WalkContext& ctx, ErrorList& errors);

}  // namespace tarmelix
