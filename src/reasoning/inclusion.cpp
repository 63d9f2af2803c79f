#include "reasoning/inclusion.h"

#include <string_view>
#include <unordered_map>

#include "reasoning/constraint_logic.h"
#include "reasoning/emptiness.h"
#include "reasoning/shape.h"
#include "schema/fxhash.h"
#include "schema/order.h"

namespace tarmelix::reasoning {

namespace {

// Field name to field, a later field of the same name winning.
using FieldIndex = std::unordered_map<std::string_view, const RecordField*, FxHasher>;

FieldIndex index_fields(const std::vector<RecordField>& fields) {
  FieldIndex index;
  index.reserve(fields.size());
  for (const RecordField& f : fields) index[f.name] = &f;
  return index;
}

const RecordField* find_field(const FieldIndex& index, const std::string& name) {
  auto it = index.find(std::string_view(name));
  return it == index.end() ? nullptr : it->second;
}

// The assumption holds for the length of one unfolded check.
bool unfold(const SchemaNode& s, const SchemaNode& t, const SchemaNode& s_next,
            const SchemaNode& t_next, const DecisionContext& context,
            SubtypeAssumptions& assumptions) {
  assumptions.emplace_back(&s, &t);
  bool result = check_subtype(s_next, t_next, context, assumptions);
  assumptions.pop_back();
  return result;
}

bool assumed(const SchemaNode& s, const SchemaNode& t, const SubtypeAssumptions& assumptions) {
  for (const auto& [a, b] : assumptions)
    if (same_node(*a, s) && same_node(*b, t)) return true;
  return false;
}

bool set_kind(NodeKind k) { return k == NodeKind::Set || k == NodeKind::FrozenSet; }

}  // namespace

bool check_subtype(const SchemaNode& s_in, const SchemaNode& t_in, const DecisionContext& context,
                   SubtypeAssumptions& assumptions) {
  DepthGuard guard(context.budget);
  if (!guard.entered()) return false;
  const SchemaNode* s = &s_in;
  const SchemaNode* t = &t_in;
  auto sub = [&](const SchemaNode& a, const SchemaNode& b) {
    return check_subtype(a, b, context, assumptions);
  };
  for (;;) {
    if (!context.budget.spend()) return false;
    const SchemaNode& S = *s;
    const SchemaNode& T = *t;

    // 1. A pair whose unfolding is under way.
    if (assumed(S, T, assumptions)) return true;
    // 2. Both exact: compare the value classes.
    KindMask ms = scalar_kind_mask(S), mt = scalar_kind_mask(T);
    if (!ms.inexact && !mt.inexact) return (ms.mask & ~mt.mask & KIND_ALL) == 0;
    // 3.
    if (same_node(S, T)) return true;
    // 4. Empty subtype.
    if (analyse_fresh(S, context.oracle, context.definitions, context.budget).empty) return true;
    // 5. Universal supertype.
    Inhabitation ti = analyse_fresh(T, context.oracle, context.definitions, context.budget);
    if (!ti.inexact && ti.kinds == KIND_ALL) return true;
    // 6.
    if (S.kind == NodeKind::Union) {
      for (const SchemaNode& m : S.members)
        if (!sub(m, T)) return false;
      return true;
    }
    // 7.
    if (T.kind == NodeKind::Intersection) {
      for (const SchemaNode& m : T.members)
        if (!sub(S, m)) return false;
      return true;
    }
    // 8.
    if (S.kind == NodeKind::Intersection) {
      for (const SchemaNode& m : S.members)
        if (sub(m, T)) return true;
      if (T.kind == NodeKind::Union)
        for (const SchemaNode& m : T.members)
          if (sub(S, m)) return true;
      return false;
    }
    // 9.
    if (T.kind == NodeKind::Union) {
      for (const SchemaNode& m : T.members)
        if (sub(S, m)) return true;
      return false;
    }
    // 10. Unfold a subtype reference under the assumed pair.
    if (S.kind == NodeKind::DefinitionRef) {
      if (S.index >= context.definitions.size()) return false;
      return unfold(S, T, context.definitions[S.index], T, context, assumptions);
    }
    // 11. By the kind of T.
    switch (T.kind) {
      case NodeKind::Complement:
        if (S.kind == NodeKind::Complement) {
          s = T.child.get();
          t = S.child.get();
          continue;
        }
        return subtype_of_complement(S, *T.child, context);
      case NodeKind::Instance:
        if (S.kind == NodeKind::Object) return sub(make_instance(S.index), T);
        break;
      case NodeKind::Object:
        if (S.kind == NodeKind::Object) return object_subtype(S, T, context, assumptions);
        break;
      case NodeKind::Constrained:
        if (S.kind == NodeKind::Constrained) {
          if (!sub(*S.child, *T.child)) return false;
          return constraints_imply(S.constraints, T.constraints, context.oracle);
        }
        break;
      case NodeKind::DefinitionRef:
        if (T.index >= context.definitions.size()) return false;
        return unfold(S, T, S, context.definitions[T.index], context, assumptions);
      case NodeKind::Set:
      case NodeKind::FrozenSet:
        if (set_kind(S.kind) && S.kind == T.kind) {
          s = S.child.get();
          t = T.child.get();
          continue;
        }
        break;
      case NodeKind::Record:
        if (S.kind == NodeKind::Record) return record_subtype(S, T, context, assumptions);
        break;
      case NodeKind::Sequence:
        if (S.kind == NodeKind::Sequence && S.sequence_kind == T.sequence_kind)
          return pattern_subtype(*S.pattern, *T.pattern, context, assumptions);
        break;
      default:
        break;
    }
    // 12. Fallback: weaken a refinement to its base, else ask the oracle.
    if (S.kind == NodeKind::Constrained) {
      s = S.child.get();
      continue;
    }
    return context.oracle.leaf_relation(S, T) == LeafAnswer::Yes;
  }
}

bool pattern_subtype(const SequencePattern& p, const SequencePattern& q,
                     const DecisionContext& context, SubtypeAssumptions& assumptions) {
  // Pattern levels sit between guarded node levels; a short stack is unproven.
  if (!py::stack_has_room(py::STEP_STACK_RESERVE)) return false;
  if (same_pattern(p, q)) return true;
  if (p.kind == PatternKind::Alternation) {
    for (const SequencePattern& part : p.parts)
      if (!pattern_subtype(part, q, context, assumptions)) return false;
    return true;
  }
  if (q.kind == PatternKind::Alternation) {
    for (const SequencePattern& part : q.parts)
      if (pattern_subtype(p, part, context, assumptions)) return true;
    return false;
  }
  std::optional<FlatPattern> fp = flatten_pattern(p);
  std::optional<FlatPattern> fq = flatten_pattern(q);
  if (!fp || !fq) return false;
  const SchemaNode* p_tail = fp->tail;
  // A tail that admits nothing repeats zero times only.
  if (p_tail && analyse_fresh(*p_tail, context.oracle, context.definitions, context.budget).empty)
    p_tail = nullptr;
  const size_t e = fp->items.size(), c = fq->items.size();
  if (e < c) return false;
  for (size_t j = 0; j < e; ++j) {
    const SchemaNode* target = j < c ? fq->items[j] : fq->tail;
    if (!target || !check_subtype(*fp->items[j], *target, context, assumptions)) return false;
  }
  if (p_tail) return fq->tail && check_subtype(*p_tail, *fq->tail, context, assumptions);
  return e == c || fq->tail;
}

bool record_subtype(const SchemaNode& s, const SchemaNode& t, const DecisionContext& context,
                    SubtypeAssumptions& assumptions) {
  auto sub = [&](const SchemaNode& a, const SchemaNode& b) {
    return check_subtype(a, b, context, assumptions);
  };
  const FieldIndex s_index = index_fields(s.fields);
  const FieldIndex t_index = index_fields(t.fields);

  // 1. Every field of T, duplicates included: a name T declares twice must
  // satisfy both declarations, or an empty T could be proven a supertype.
  bool fields_ok = true;
  for (const RecordField& tf : t.fields) {
    if (const RecordField* sf = find_field(s_index, tf.name)) {
      if (!sub(sf->node, tf.node) || (tf.required && !sf->required)) {
        fields_ok = false;
        break;
      }
    } else if (tf.required) {
      fields_ok = false;
      break;
    } else {
      bool clauses_ok = true;
      for (const KeyValueClause& clause : s.clauses)
        if (!sub(clause.value, tf.node)) {
          clauses_ok = false;
          break;
        }
      if (!clauses_ok) {
        fields_ok = false;
        break;
      }
    }
  }

  // 2. Fields only S declares go to a T clause that admits every str key.
  bool extras_ok = true;
  for (const RecordField& sf : s.fields) {
    if (find_field(t_index, sf.name)) continue;
    bool admitted = false;
    for (const KeyValueClause& clause : t.clauses) {
      NodeKind k = clause.key.kind;
      if ((k == NodeKind::Str || k == NodeKind::Anything) && sub(sf.node, clause.value)) {
        admitted = true;
        break;
      }
    }
    if (!admitted) {
      extras_ok = false;
      break;
    }
  }

  // 3. Every clause of S within some clause of T.
  bool clauses_ok = true;
  for (const KeyValueClause& sc : s.clauses) {
    bool admitted = false;
    for (const KeyValueClause& tc : t.clauses)
      if (sub(sc.key, tc.key) && sub(sc.value, tc.value)) {
        admitted = true;
        break;
      }
    if (!admitted) {
      clauses_ok = false;
      break;
    }
  }
  return fields_ok && extras_ok && clauses_ok;
}

bool object_subtype(const SchemaNode& s, const SchemaNode& t, const DecisionContext& context,
                    SubtypeAssumptions& assumptions) {
  if (s.index != t.index &&
      context.oracle.leaf_relation(make_instance(s.index), make_instance(t.index)) !=
          LeafAnswer::Yes)
    return false;
  if (s.fields.empty()) return t.fields.empty();
  const FieldIndex s_index = index_fields(s.fields);
  for (const RecordField& tf : t.fields) {
    const RecordField* sf = find_field(s_index, tf.name);
    if (!sf || !check_subtype(sf->node, tf.node, context, assumptions)) return false;
  }
  return true;
}

bool subtype_of_complement(const SchemaNode& s, const SchemaNode& x,
                           const DecisionContext& context) {
  std::vector<SchemaNode> members;
  members.reserve(2);
  members.push_back(s);
  members.push_back(x);
  const SchemaNode meet = make_intersection(std::move(members));
  return analyse_fresh(meet, context.oracle, context.definitions, context.budget).empty;
}

bool subtype_within(const SchemaNode& s, const SchemaNode& t, const LeafOracle& oracle,
                    const DefinitionTable& definitions, WorkBudget& budget) {
  DecisionContext context{oracle, definitions, budget};
  SubtypeAssumptions assumptions;
  return check_subtype(s, t, context, assumptions);
}

}  // namespace tarmelix::reasoning
