// One refinement of a Constrained node, checked on a Python value whose base
// has already accepted it.
#pragma once

#include "check/native_bound.h"
#include "check/walk_context.h"

namespace re2 {
class RE2;
}

namespace tarmelix::check {

// True when the value satisfies the constraint. A failure in a recording mode
// appends one record at a copy of `path`. A fatal exception of the value's own
// code goes to the context's slot and the answer is false. `native`, the
// plan's native form of a bound, spares the interpreter's comparison for an
// exact int, bool or float value.
bool check_constraint(const Constraint& constraint, PyObject* value, const WalkPath& path,
                      const WalkContext& ctx, ErrorList& errors,
                      const NativeBound* native = nullptr);

// A constraint decided natively on an exact int, bool, float, str or
// container, as check_constraint decides it, with no Python code run; empty
// where check_constraint must. `pattern` is the Regex's compiled pattern.
std::optional<bool> constraint_in_place(const Constraint& constraint, const NativeBound& native,
                                        const re2::RE2* pattern, PyObject* value);

}  // namespace tarmelix::check

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using check::check_constraint;
}  // namespace tarmelix
