// What one membership walk carries. The entry point owns the state (guard,
// fatal-error slot, stop flag) and hands each step a small context by value;
// a step that wants another mode for a child walks it with a copy.
#pragma once

#include "check/attribute_names.h"
#include "check/definition_memo.h"
#include "check/fold.h"
#include "check/recursion_guard.h"
#include "check/validate.h"
#include "errors/build_record.h"
#include "errors/error_list.h"
#include "errors/walk_path.h"
#include "py/stack.h"
#include "schema/node.h"
#include "schema/pool.h"

namespace tarmelix::check {

struct WalkPlan;

// Per-call state shared by every step of one walk.
struct WalkState {
  RecursionGuard recursion_guard;
  FatalErrorSlot fatal_error;
  bool stop = false;
  AttributeNames attribute_names;
  DefinitionMemo definition_memo;
  // A walk run without the interpreter lock (the JSON roads' over a large
  // document): a step that needs the interpreter stops the walk instead,
  // and the caller walks again holding the lock.
  bool detached = false;
  bool needs_interpreter = false;
  py::StackBound stack{py::STEP_STACK_RESERVE};
};

struct WalkContext {
  const Constants* constants;
  const DefinitionTable* definitions;
  const WalkPlan* plan;  // null: the empty plan
  WalkState* state;
  WalkMode mode;
  // Kept inside a union's attribution, whose records are mostly dropped.
  GotWhen got_when = GotWhen::Now;
  // Where patterns the plan lacks are compiled once; null: compiled afresh
  // at each check.
  schema::FullMatchCache* patterns = nullptr;

  WalkContext with_mode(WalkMode m) const {
    WalkContext copy = *this;
    copy.mode = m;
    return copy;
  }
  bool recording() const { return mode != WalkMode::CheckOnly; }
  bool stopped() const { return state->stop; }
  bool detached() const { return state->detached; }
  // Stops a detached walk where a step needs the interpreter: false.
  bool leave_to_interpreter() const {
    state->needs_interpreter = true;
    state->stop = true;
    return false;
  }
  // Whether a failure is recorded: nothing is once the walk has stopped.
  bool records() const { return recording() && !stopped(); }
  // A pooled object (borrowed), or null for an index outside the pool.
  PyObject* constant(uint64_t index) const {
    return index < constants->size() ? (*constants)[index].get() : nullptr;
  }
  // Settles the pending exception of a failed Python operation: false.
  bool fold_pending() const { return fold_pending_exception(state->fatal_error, state->stop); }
  // 1, 0, or -1 with the indicator set, as an answer.
  bool fold(int result) const { return fold_truth(result, state->fatal_error, state->stop); }
  // Whether the native stack has room for one more step; when it has not,
  // the walk stops with RecursionError as its fatal exception (a detached
  // walk leaves the step to the interpreter).
  bool has_stack_room() const {
    if (state->stack.has_room()) [[likely]] return true;
    if (detached()) return leave_to_interpreter();
    py::set_stack_exhausted();
    return fold_pending();
  }
};

}  // namespace tarmelix::check

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using check::WalkContext;
using check::WalkState;
}  // namespace tarmelix
