#include "check/validate.h"

#include "check/walk.h"
#include "check/walk_plan.h"
#include "errors/errors.h"
#include "py/error.h"
#include "py/stack.h"

namespace tarmelix {

namespace {

struct Outcome {
  bool member;
  py::Ref fatal;  // the walk's kept exception, if any
};

Outcome run_walk(const SchemaNode& root, const Constants& constants,
                 const DefinitionTable& definitions, const WalkPlan* plan, PyObject* value,
                 WalkMode mode, ErrorList& errors) {
  if (!py::stack_has_room(py::WALK_STACK_RESERVE)) {
    py::set_stack_exhausted();
    return Outcome{false, py::take_exception()};
  }
  WalkState state;
  WalkContext ctx{&constants, &definitions, plan, &state, mode};
  const WalkPath path;
  bool member = walk_value(root, value, path, ctx, errors);
  return Outcome{member, std::move(state.fatal_error.exception)};
}

// A CheckOnly walk: the answer, or empty with the kept fatal exception set.
std::optional<bool> check_only(const SchemaNode& root, const Constants& constants,
                               const DefinitionTable& definitions, const WalkPlan* plan,
                               PyObject* value) {
  ErrorList errors;
  Outcome outcome =
      run_walk(root, constants, definitions, plan, value, WalkMode::CheckOnly, errors);
  if (outcome.fatal) {
    py::restore_exception(std::move(outcome.fatal));
    return std::nullopt;
  }
  return outcome.member;
}

}  // namespace

bool validate_value(ValidatorCore& core, PyObject* value, WalkMode mode) {
  ensure_walk_plan(core);
  ErrorList errors;
  Outcome outcome = run_walk(core.root, core.constants, core.definitions, core_walk_plan(core),
                             value, mode, errors);
  if (outcome.fatal) {
    py::restore_exception(std::move(outcome.fatal));
    return false;
  }
  if (outcome.member) return true;
  raise_validation_error(errors);
  return false;
}

std::optional<bool> check_membership(ValidatorCore& core, PyObject* value) {
  ensure_walk_plan(core);
  return check_only(core.root, core.constants, core.definitions, core_walk_plan(core), value);
}

std::optional<bool> check_node_membership(const SchemaNode& node, const Constants& constants,
                                          const DefinitionTable& definitions, PyObject* value) {
  return check_only(node, constants, definitions, nullptr, value);
}

}  // namespace tarmelix
