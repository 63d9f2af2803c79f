#include "reasoning/constraint_logic.h"

#include <optional>

#include "reasoning/shape.h"
#include "schema/order.h"

namespace tarmelix::reasoning {

namespace {

struct Bound {
  uint64_t value;  // pool index
  bool exclusive;
};

bool unsatisfiable_over(const std::vector<const Constraint*>& list, const LeafOracle& oracle,
                        bool integer_mode) {
  // Lengths.
  std::optional<uint64_t> min_len, max_len;
  for (const Constraint* c : list) {
    if (c->kind == ConstraintKind::MinLen && (!min_len || c->value > *min_len)) min_len = c->value;
    if (c->kind == ConstraintKind::MaxLen && (!max_len || c->value < *max_len)) max_len = c->value;
  }
  if (min_len && max_len && *min_len > *max_len) return true;

  // Strongest lower and upper bounds, each later entry weighed against the
  // bound so far.
  std::optional<Bound> lower, upper;
  for (const Constraint* c : list) {
    const bool ge = c->kind == ConstraintKind::Ge, gt = c->kind == ConstraintKind::Gt;
    const bool le = c->kind == ConstraintKind::Le, lt = c->kind == ConstraintKind::Lt;
    if (ge || gt) {
      if (!lower) {
        lower = Bound{c->value, gt};
        continue;
      }
      ConstantOrder o = oracle.compare_constants(c->value, lower->value);
      if (o == ConstantOrder::Greater)
        lower = Bound{c->value, gt};
      else if (o == ConstantOrder::Equal && gt)
        lower->exclusive = true;
    } else if (le || lt) {
      if (!upper) {
        upper = Bound{c->value, lt};
        continue;
      }
      ConstantOrder o = oracle.compare_constants(c->value, upper->value);
      if (o == ConstantOrder::Less)
        upper = Bound{c->value, lt};
      else if (o == ConstantOrder::Equal && lt)
        upper->exclusive = true;
    }
  }
  if (!lower || !upper) return false;
  switch (oracle.compare_constants(lower->value, upper->value)) {
    case ConstantOrder::Greater:
      return true;
    case ConstantOrder::Equal:
      return lower->exclusive || upper->exclusive;
    case ConstantOrder::Less:
    case ConstantOrder::Undecided:
      break;
  }
  return integer_mode && oracle.no_integer_between(lower->value, lower->exclusive, upper->value,
                                                   upper->exclusive) == LeafAnswer::Yes;
}

bool at_least(ConstantOrder o) { return o == ConstantOrder::Equal || o == ConstantOrder::Greater; }
bool at_most(ConstantOrder o) { return o == ConstantOrder::Equal || o == ConstantOrder::Less; }

// Whether the single entry s implies t (s's constant compared to t's).
bool implies(const Constraint& s, const Constraint& t, const LeafOracle& oracle) {
  using K = ConstraintKind;
  auto order = [&] { return oracle.compare_constants(s.value, t.value); };
  switch (t.kind) {
    case K::Ge:
      return (s.kind == K::Ge || s.kind == K::Gt) && at_least(order());
    case K::Gt:
      if (s.kind == K::Ge) return order() == ConstantOrder::Greater;
      return s.kind == K::Gt && at_least(order());
    case K::Le:
      return (s.kind == K::Le || s.kind == K::Lt) && at_most(order());
    case K::Lt:
      if (s.kind == K::Le) return order() == ConstantOrder::Less;
      return s.kind == K::Lt && at_most(order());
    case K::MinLen:
      return s.kind == K::MinLen && s.value >= t.value;
    case K::MaxLen:
      return s.kind == K::MaxLen && s.value <= t.value;
    case K::MultipleOf:
    case K::Predicate:
    case K::Regex:
      break;
  }
  return false;
}

bool integer_shape(const SchemaNode& node) {
  ShapeKind k = shape_kind(node);
  return k == SHAPE_BOOL || k == SHAPE_INT;
}

}  // namespace

bool constraints_unsatisfiable(const std::vector<Constraint>& constraints,
                               const LeafOracle& oracle, bool integer_mode) {
  std::vector<const Constraint*> list;
  list.reserve(constraints.size());
  for (const Constraint& c : constraints) list.push_back(&c);
  return unsatisfiable_over(list, oracle, integer_mode);
}

bool intersection_bounds_unsatisfiable(const std::vector<SchemaNode>& members,
                                       const LeafOracle& oracle) {
  std::vector<const Constraint*> list;
  bool integer_mode = false;
  for (const SchemaNode& m : members) {
    if (integer_shape(m)) integer_mode = true;
    if (m.kind != NodeKind::Constrained) continue;
    for (const Constraint& c : m.constraints) list.push_back(&c);
  }
  if (list.empty()) return false;
  return unsatisfiable_over(list, oracle, integer_mode);
}

bool constraints_imply(const std::vector<Constraint>& s, const std::vector<Constraint>& t,
                       const LeafOracle& oracle) {
  for (const Constraint& need : t) {
    bool found = false;
    for (const Constraint& have : s)
      if (same_constraint(have, need)) {
        found = true;
        break;
      }
    if (!found)
      for (const Constraint& have : s)
        if (implies(have, need, oracle)) {
          found = true;
          break;
        }
    if (!found) return false;
  }
  return true;
}

}  // namespace tarmelix::reasoning
