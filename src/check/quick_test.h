// The answer a node's plan entry gives for a Python value without a walk:
// by its exact type, or by an all-literal union's sets. Runs no Python code.
#pragma once

#include <optional>

#include "check/walk.h"
#include "check/walk_plan.h"

namespace tarmelix::check {

// An all-literal union's answer for a value: a value that is one of its
// constants is a member; else the literal sets' answer, or empty when the
// general path must decide.
std::optional<bool> literals_answer(const PlanLiterals& literals, PyObject* value);

// A Constrained node's answer from its base's quick test and its native
// constraints; -1 when the walk must decide.
int constrained_quick_test(const SchemaNode& node, const PlanBounds& bounds, PyObject* v,
                           const WalkPlan* plan);

// 1 member, 0 not, -1 when the walk must decide.
inline int quick_test(const SchemaNode& node, PyObject* v, const WalkPlan* plan) {
  int scalar = scalar_test(node.kind, v);
  if (scalar >= 0 || !plan) return scalar;
  const PlanEntry* e = plan->entry(node);
  if (!e) return -1;
  if (e->by_type) {
    const uint8_t bit = py_type_bit(v);
    return bit ? (e->py_types & bit) != 0 : -1;
  }
  if (e->exact_class) return Py_TYPE(v) == reinterpret_cast<PyTypeObject*>(e->exact_class) ? 1 : -1;
  if (e->literals != NO_FACT) {
    std::optional<bool> found = literals_answer(plan->literals[e->literals], v);
    return found ? *found : -1;
  }
  if (e->bounds != NO_FACT) return constrained_quick_test(node, plan->bounds[e->bounds], v, plan);
  return -1;
}

}  // namespace tarmelix::check
