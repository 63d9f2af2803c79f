#include "reasoning/simplify.h"

#include <algorithm>

#include "py/stack.h"
#include "reasoning/shape.h"
#include "schema/order.h"

namespace tarmelix::reasoning {

namespace {

// How a flattened member list treats the two trivial nodes: one is left out
// (the identity), the other absorbs the whole list.
struct Lattice {
  NodeKind flatten;   // Union or Intersection
  NodeKind identity;  // Nothing or Anything
  NodeKind absorber;  // Anything or Nothing
};
constexpr Lattice UNION{NodeKind::Union, NodeKind::Nothing, NodeKind::Anything};
constexpr Lattice INTERSECTION{NodeKind::Intersection, NodeKind::Anything, NodeKind::Nothing};

// Appends one simplified member; false when it absorbs the whole list.
bool gather(const Lattice& lattice, SchemaNode member, std::vector<SchemaNode>& into) {
  if (member.kind == lattice.identity) return true;
  if (member.kind == lattice.absorber) return false;
  if (member.kind == lattice.flatten) {
    for (SchemaNode& m : member.members) into.push_back(std::move(m));
    return true;
  }
  into.push_back(std::move(member));
  return true;
}

void sort_and_dedupe(std::vector<SchemaNode>& members) {
  std::stable_sort(members.begin(), members.end(),
                   [](const SchemaNode& a, const SchemaNode& b) { return compare_nodes(a, b) < 0; });
  members.erase(std::unique(members.begin(), members.end(), same_node), members.end());
}

// Some member is complement(X), X not Any, and X is itself a member.
bool complement_meets_child(const std::vector<SchemaNode>& members) {
  for (const SchemaNode& c : members) {
    if (c.kind != NodeKind::Complement || c.child->kind == NodeKind::Any) continue;
    for (const SchemaNode& m : members)
      if (same_node(*c.child, m)) return true;
  }
  return false;
}

SchemaNode combine(const Lattice& lattice, std::vector<SchemaNode> members) {
  if (lattice.flatten == NodeKind::Union) return normalize_union(std::move(members));
  return normalize_intersection(std::move(members));
}

// Simplifies (or, for negation, takes) each member and gathers the list.
template <class Each>
SchemaNode gather_all(const Lattice& lattice, size_t count, Each each) {
  std::vector<SchemaNode> gathered;
  gathered.reserve(count);
  for (size_t i = 0; i < count; ++i)
    if (!gather(lattice, each(i), gathered)) return make_leaf(lattice.absorber);
  return combine(lattice, std::move(gathered));
}

std::vector<RecordField> simplify_fields(const std::vector<RecordField>& fields) {
  std::vector<RecordField> out;
  out.reserve(fields.size());
  for (const RecordField& f : fields) out.push_back({f.name, simplify_node(f.node), f.required});
  return out;
}

SchemaNode simplify_constrained(const SchemaNode& node) {
  std::vector<Constraint> constraints = node.constraints;
  SchemaNode base = simplify_node(*node.child);
  while (base.kind == NodeKind::Constrained) {
    constraints.insert(constraints.end(), base.constraints.begin(), base.constraints.end());
    SchemaNode inner = std::move(*base.child);
    base = std::move(inner);
  }
  std::sort(constraints.begin(), constraints.end(),
            [](const Constraint& a, const Constraint& b) { return compare_constraints(a, b) < 0; });
  constraints.erase(std::unique(constraints.begin(), constraints.end(), same_constraint),
                    constraints.end());
  if (constraints.empty()) return base;
  return make_constrained(std::move(base), std::move(constraints));
}

}  // namespace

SchemaNode simplify_node(const SchemaNode& node) {
  py::require_stack_room("simplifying a schema");
  switch (node.kind) {
    case NodeKind::Sequence:
      return make_sequence(node.sequence_kind, simplify_pattern(*node.pattern));
    case NodeKind::Set:
      return make_set(simplify_node(*node.child));
    case NodeKind::FrozenSet:
      return make_frozen_set(simplify_node(*node.child));
    case NodeKind::Record: {
      std::vector<KeyValueClause> clauses;
      clauses.reserve(node.clauses.size());
      for (const KeyValueClause& c : node.clauses)
        clauses.push_back({simplify_node(c.key), simplify_node(c.value)});
      return make_record(simplify_fields(node.fields), std::move(clauses));
    }
    case NodeKind::Object:
      return make_object(node.index, simplify_fields(node.fields));
    case NodeKind::Union:
      return gather_all(UNION, node.members.size(),
                        [&](size_t i) { return simplify_node(node.members[i]); });
    case NodeKind::Intersection:
      return gather_all(INTERSECTION, node.members.size(),
                        [&](size_t i) { return simplify_node(node.members[i]); });
    case NodeKind::Complement:
      return negate_node(simplify_node(*node.child));
    case NodeKind::Constrained:
      return simplify_constrained(node);
    default:
      return node;
  }
}

SequencePattern simplify_pattern(const SequencePattern& pattern) {
  py::require_stack_room("simplifying a schema");
  switch (pattern.kind) {
    case PatternKind::Empty:
      return make_empty_pattern();
    case PatternKind::Item:
      return make_item_pattern(simplify_node(*pattern.node));
    case PatternKind::Concat:
    case PatternKind::Alternation: {
      std::vector<SequencePattern> parts;
      parts.reserve(pattern.parts.size());
      for (const SequencePattern& p : pattern.parts) parts.push_back(simplify_pattern(p));
      return pattern.kind == PatternKind::Concat ? make_concat_pattern(std::move(parts))
                                                 : make_alternation_pattern(std::move(parts));
    }
    case PatternKind::Repeat:
      return make_repeat_pattern(simplify_pattern(*pattern.body));
  }
  return make_empty_pattern();
}

SchemaNode normalize_union(std::vector<SchemaNode> members) {
  sort_and_dedupe(members);
  if (members.empty()) return make_leaf(NodeKind::Nothing);
  ScalarKindMask coverage = 0;
  for (const SchemaNode& m : members) {
    KindMask k = scalar_kind_mask(m);
    if (!k.inexact) coverage |= k.mask;
  }
  if (complement_meets_child(members)) return make_leaf(NodeKind::Anything);
  for (size_t i = 0; i < members.size(); ++i) {
    if (members[i].kind != NodeKind::Complement) continue;
    for (size_t j = i + 1; j < members.size(); ++j)
      if (members[j].kind == NodeKind::Complement &&
          known_disjoint(*members[i].child, *members[j].child))
        return make_leaf(NodeKind::Anything);
  }
  if (coverage == KIND_ALL) return make_leaf(NodeKind::Anything);
  if (members.size() == 1) return std::move(members.front());
  return make_union(std::move(members));
}

SchemaNode normalize_intersection(std::vector<SchemaNode> members) {
  sort_and_dedupe(members);
  if (members.empty()) return make_leaf(NodeKind::Anything);
  ScalarKindMask common = KIND_ALL;
  for (const SchemaNode& m : members) {
    KindMask k = scalar_kind_mask(m);
    if (!k.inexact) common &= k.mask;
  }
  if (complement_meets_child(members)) return make_leaf(NodeKind::Nothing);
  for (size_t i = 0; i < members.size(); ++i)
    for (size_t j = i + 1; j < members.size(); ++j)
      if (known_disjoint(members[i], members[j])) return make_leaf(NodeKind::Nothing);
  if (common == 0) return make_leaf(NodeKind::Nothing);
  if (members.size() == 1) return std::move(members.front());
  return make_intersection(std::move(members));
}

SchemaNode negate_node(SchemaNode node) {
  py::require_stack_room("simplifying a schema");
  switch (node.kind) {
    case NodeKind::Anything:
      return make_leaf(NodeKind::Nothing);
    case NodeKind::Nothing:
      return make_leaf(NodeKind::Anything);
    case NodeKind::Complement: {
      SchemaNode inner = std::move(*node.child);
      return inner;
    }
    case NodeKind::Union:
      // De Morgan: the negated members meet.
      return gather_all(INTERSECTION, node.members.size(),
                        [&](size_t i) { return negate_node(std::move(node.members[i])); });
    case NodeKind::Intersection:
      return gather_all(UNION, node.members.size(),
                        [&](size_t i) { return negate_node(std::move(node.members[i])); });
    default:
      return make_complement(std::move(node));
  }
}

}  // namespace tarmelix::reasoning
