// The fast road of a homogeneous list or tuple: one loop with the element
// test resolved once per validator instead of one walk dispatch per element.
#pragma once

#include "check/walk_context.h"
#include "check/walk_plan.h"

namespace tarmelix::check {

// Where the fast loop left a sequence whose type and length passed.
struct SequenceProgress {
  bool decided = false;  // then `all` is the answer
  bool all = true;       // the conjunction of the elements before `resume`
  Py_ssize_t resume = 0; // else the general loop goes on from this element
};

// Runs `tested` elements of a list or tuple `v` through the test of the
// repeated element node `element`. Hands an element back to the general
// loop, before any Python code ran for it, whenever that loop could say more
// (a record to make, a value the fast test was not built for).
SequenceProgress walk_fast_sequence(const SchemaNode& element, PyObject* v, bool is_list,
                                    Py_ssize_t tested, const WalkPath& path, const WalkContext& ctx,
                                    ErrorList& errors);

}  // namespace tarmelix::check
