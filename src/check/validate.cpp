#include "check/validate.h"

#include "check/fresh_walk.h"
#include "check/hinted_walk.h"
#include "check/record_walk.h"
#include "check/walk.h"
#include "check/walk_plan.h"
#include "errors/errors.h"

namespace tarmelix::check {

namespace {

// A CheckOnly walk: the answer, or empty with the kept fatal exception set.
std::optional<bool> check_only(const SchemaNode& root, const Constants& constants,
                               const DefinitionTable& definitions, const WalkPlan* plan,
                               PyObject* value, schema::FullMatchCache* patterns = nullptr) {
  ErrorList errors;
  return run_fresh_walk(constants, definitions, plan, WalkMode::CheckOnly,
                        [&](const WalkContext& ctx) {
                          WalkContext with_patterns = ctx;
                          with_patterns.patterns = patterns;
                          return walk_value(root, value, WalkPath{}, with_patterns, errors);
                        });
}

}  // namespace

bool validate_value(ValidatorCore& core, PyObject* value, WalkMode mode) {
  ErrorList errors;
  std::optional<bool> member =
      run_fresh_walk(core.constants, core.definitions, plan_for_walks(core), mode,
                     [&](const WalkContext& ctx) {
                       return walk_value(core.root, value, WalkPath{}, ctx, errors);
                     });
  if (!member) return false;
  if (*member) return true;
  // Two values can share a preview: list such failures once as well.
  errors.drop_equal_texts();
  raise_validation_error(errors);
  return false;
}

bool validate_non_member(ValidatorCore& core, PyObject* value, WalkMode mode) {
  const WalkPlan* plan = plan_for_walks(core);
  const SchemaNode& root = core.root;
  if (!plan || root.kind != NodeKind::Record || !PyDict_Check(value)) {
    return validate_value(core, value, mode);
  }
  ErrorList errors;
  std::optional<bool> member =
      run_fresh_walk(core.constants, core.definitions, plan, mode, [&](const WalkContext& ctx) {
        // As the walk's Record step, less its CheckOnly test.
        if (!ctx.has_stack_room()) return false;
        if (ctx.records()) {
          walk_record(root.fields, root.clauses, value, WalkPath{}, ctx, errors,
                      plan->record(root));
        }
        return false;
      });
  if (!member) return false;
  // No fault found: the whole walk answers.
  if (errors.empty()) return validate_value(core, value, mode);
  errors.drop_equal_texts();
  raise_validation_error(errors);
  return false;
}

Explained explain_with_hint(ValidatorCore& core, PyObject* value, const MemberHint& hint,
                            WalkMode mode) {
  const WalkPlan* plan = plan_for_walks(core);
  if (!plan) return Explained::NoFault;
  ErrorList errors;
  std::optional<bool> member =
      run_fresh_walk(core.constants, core.definitions, plan, mode, [&](const WalkContext& ctx) {
        return walk_hinted(core.root, value, &hint, WalkPath{}, ctx, errors);
      });
  if (!member) return Explained::Raised;
  if (*member || errors.empty()) return Explained::NoFault;
  errors.drop_equal_texts();
  raise_validation_error(errors);
  return Explained::Raised;
}

std::optional<bool> check_membership(ValidatorCore& core, PyObject* value) {
  return check_only(core.root, core.constants, core.definitions, plan_for_walks(core), value);
}

std::optional<bool> check_node_membership(const SchemaNode& node, const Constants& constants,
                                          const DefinitionTable& definitions, PyObject* value,
                                          schema::FullMatchCache& patterns) {
  return check_only(node, constants, definitions, nullptr, value, &patterns);
}

}  // namespace tarmelix::check
