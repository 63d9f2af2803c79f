#include "reasoning/emptiness.h"

#include <algorithm>

#include "reasoning/constraint_logic.h"
#include "schema/order.h"

namespace tarmelix::reasoning {

namespace {

constexpr Inhabitation UNPROVEN{false, true, 0};

struct Analysis {
  const LeafOracle& oracle;
  const DefinitionTable& definitions;
  DefinitionStack& stack;
  WorkBudget& budget;

  Inhabitation of(const SchemaNode& node) {
    return analyse_inhabitation(node, oracle, definitions, stack, budget);
  }

  Inhabitation union_of(const std::vector<SchemaNode>& members) {
    bool all_empty = true, inexact = false, some_inhabited = false;
    ScalarKindMask kinds = 0;
    for (const SchemaNode& m : members) {
      Inhabitation r = of(m);
      all_empty = all_empty && r.empty;
      some_inhabited = some_inhabited || !r.empty;
      inexact = inexact || r.inexact;
      kinds |= r.kinds;
      if (some_inhabited && inexact) return UNPROVEN;
    }
    return {all_empty, inexact, kinds};
  }

  Inhabitation intersection_of(const std::vector<SchemaNode>& members) {
    bool any_empty = false, inexact = false;
    ScalarKindMask kinds = KIND_ALL;
    for (const SchemaNode& m : members) {
      Inhabitation r = of(m);
      any_empty = any_empty || r.empty;
      inexact = inexact || r.inexact;
      kinds &= r.kinds;
      if (any_empty && inexact) return {true, true, 0};
    }
    Inhabitation result{false, inexact, kinds};
    result.empty = any_empty || (!inexact && kinds == 0) || complement_meets_child(members) ||
                   some_pair_disjoint(members) ||
                   intersection_bounds_unsatisfiable(members, oracle);
    return result;
  }

  static bool complement_meets_child(const std::vector<SchemaNode>& members) {
    for (const SchemaNode& c : members) {
      if (c.kind != NodeKind::Complement || c.child->kind == NodeKind::Any) continue;
      for (const SchemaNode& m : members)
        if (same_node(*c.child, m)) return true;
    }
    return false;
  }

  static bool some_pair_disjoint(const std::vector<SchemaNode>& members) {
    for (size_t i = 0; i < members.size(); ++i)
      for (size_t j = i + 1; j < members.size(); ++j)
        if (known_disjoint(members[i], members[j])) return true;
    return false;
  }

  Inhabitation definition(uint64_t index) {
    // Met again while unfolding itself: only a mandatory copy of itself leads
    // here, so this road admits nothing.
    if (std::find(stack.begin(), stack.end(), index) != stack.end()) return {true, true, 0};
    if (index >= definitions.size()) return UNPROVEN;
    stack.push_back(index);
    Inhabitation r = of(definitions[index]);
    stack.pop_back();
    return {r.empty, true, 0};
  }

  bool required_field_empty(const std::vector<RecordField>& fields) {
    for (const RecordField& f : fields)
      if (f.required && of(f.node).empty) return true;
    return false;
  }
};

}  // namespace

Inhabitation analyse_inhabitation(const SchemaNode& node, const LeafOracle& oracle,
                                  const DefinitionTable& definitions, DefinitionStack& stack,
                                  WorkBudget& budget) {
  DepthGuard guard(budget);
  if (!guard.entered() || !budget.spend()) return UNPROVEN;
  Analysis a{oracle, definitions, stack, budget};
  switch (node.kind) {
    case NodeKind::Anything:
      return {false, false, KIND_ALL};
    case NodeKind::Nothing:
      return {true, false, 0};
    case NodeKind::NoneValue:
    case NodeKind::Bool:
    case NodeKind::Int:
    case NodeKind::Float:
    case NodeKind::Str:
    case NodeKind::Bytes:
      return {false, false, scalar_kind_mask(node).mask};
    case NodeKind::Any:
    case NodeKind::Literal:
    case NodeKind::Set:
    case NodeKind::FrozenSet:
    case NodeKind::Instance:
    case NodeKind::RecursionVariable:
      return UNPROVEN;
    case NodeKind::Sequence:
      return {pattern_is_empty(*node.pattern, oracle, definitions, stack, budget), true, 0};
    case NodeKind::Record:
    case NodeKind::Object:
      return {a.required_field_empty(node.fields), true, 0};
    case NodeKind::Union:
      return a.union_of(node.members);
    case NodeKind::Intersection:
      return a.intersection_of(node.members);
    case NodeKind::Complement: {
      Inhabitation child = a.of(*node.child);
      if (child.inexact) return UNPROVEN;
      return {child.kinds == KIND_ALL, false,
              static_cast<ScalarKindMask>(KIND_ALL & ~child.kinds)};
    }
    case NodeKind::Constrained: {
      if (a.of(*node.child).empty) return {true, true, 0};
      ShapeKind base = shape_kind(*node.child);
      bool integer_mode = base == SHAPE_BOOL || base == SHAPE_INT;
      return {constraints_unsatisfiable(node.constraints, oracle, integer_mode), true, 0};
    }
    case NodeKind::DefinitionRef:
      return a.definition(node.index);
  }
  return UNPROVEN;
}

bool pattern_is_empty(const SequencePattern& pattern, const LeafOracle& oracle,
                      const DefinitionTable& definitions, DefinitionStack& stack,
                      WorkBudget& budget) {
  // Pattern levels sit between guarded node levels; a short stack is unproven.
  if (!py::stack_has_room(py::STEP_STACK_RESERVE)) return false;
  auto empty = [&](const SequencePattern& p) {
    return pattern_is_empty(p, oracle, definitions, stack, budget);
  };
  switch (pattern.kind) {
    case PatternKind::Empty:
    case PatternKind::Repeat:
      return false;
    case PatternKind::Item:
      return analyse_inhabitation(*pattern.node, oracle, definitions, stack, budget).empty;
    case PatternKind::Concat:
      return std::any_of(pattern.parts.begin(), pattern.parts.end(), empty);
    case PatternKind::Alternation:
      return std::all_of(pattern.parts.begin(), pattern.parts.end(), empty);
  }
  return false;
}

Inhabitation analyse_fresh(const SchemaNode& node, const LeafOracle& oracle,
                           const DefinitionTable& definitions, WorkBudget& budget) {
  DefinitionStack stack;
  return analyse_inhabitation(node, oracle, definitions, stack, budget);
}

}  // namespace tarmelix::reasoning
