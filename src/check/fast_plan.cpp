#include "check/fast_plan.h"

#include "check/attribute_names.h"
#include "check/walk_plan.h"
#include "py/stack.h"
#include "schema/measure.h"
#include "schema/sequence_shape.h"

namespace tarmelix::check {

namespace {

uint64_t identity_of(const void* p) { return reinterpret_cast<uintptr_t>(p); }

bool is_scalar_kind(NodeKind kind) { return static_cast<uint8_t>(kind) <= 8; }

class FastPlanBuilder {
 public:
  FastPlanBuilder(const ValidatorCore& core, const WalkPlan& plan, FastPlan& fast)
      : constants_(core.constants), plan_(plan), fast_(fast) {}

  void visit(const SchemaNode& node) {
    py::require_stack_room("validating");
    switch (node.kind) {
      case NodeKind::Sequence:
        if (!node.pattern) return;
        sequence(node);
        break;
      case NodeKind::Union:
        literals(node);
        break;
      case NodeKind::Record:
        record(node);
        break;
      case NodeKind::Set:
      case NodeKind::FrozenSet:
      case NodeKind::Complement:
      case NodeKind::Constrained:
        if (!node.child) return;
        break;
      default:
        break;
    }
    NodeChildren children(node);
    while (const SchemaNode* child = children.next()) visit(*child);
  }

 private:
  const FastLiterals* literals(const SchemaNode& node) {
    const uint64_t id = identity_of(&node.members);
    if (const uint64_t* slot = fast_.union_slots.find(id)) return &fast_.unions[*slot];
    const LiteralSets* sets = find_literal_sets(&plan_, node);
    if (!sets) return nullptr;
    FastLiterals entry;
    entry.sets = sets;
    for (const SchemaNode& member : node.members) {
      // Only exact ints and strs: one of them is equal to itself, so a value
      // that is the very constant is a member without an __eq__ call.
      PyObject* constant = constants_[member.index].get();
      if (!PyLong_CheckExact(constant) && !PyUnicode_CheckExact(constant)) continue;
      entry.identities.put(identity_of(constant), 0);
      entry.owned.push_back(py::Ref::borrow(constant));
    }
    fast_.union_slots.put(id, fast_.unions.size());
    fast_.unions.push_back(std::move(entry));
    return &fast_.unions.back();
  }

  const FastRecord* record(const SchemaNode& node) {
    const uint64_t id = identity_of(&node.fields);
    if (const uint64_t* slot = fast_.record_slots.find(id)) return &fast_.records[*slot];
    const RecordIndex* index = find_record_index(&plan_, node);
    if (!index) return nullptr;
    std::vector<py::Ref> names = make_attribute_names(node.fields);
    if (names.empty()) {
      PyErr_Clear();
      return nullptr;
    }
    for (size_t i = 0; i < names.size(); ++i) {
      const uint64_t* position = index->field_positions.find(node.fields[i].name);
      if (!position || *position != i) names[i].reset();
    }
    fast_.record_slots.put(id, fast_.records.size());
    fast_.records.push_back(FastRecord{index, std::move(names)});
    return &fast_.records.back();
  }

  void sequence(const SchemaNode& node) {
    const uint64_t id = identity_of(node.pattern.get());
    if (fast_.sequence_slots.contains(id)) return;
    std::optional<schema::SequenceShape> shape = schema::read_sequence_shape(*node.pattern);
    if (!shape || shape->fixed != 0 || !shape->tail) return;
    const SchemaNode& element = *shape->tail;
    FastSequence entry;
    if (is_scalar_kind(element.kind)) {
      entry.test = ElementTest::Scalar;
      entry.scalar = element.kind;
    } else if (element.kind == NodeKind::Union) {
      entry.test = ElementTest::Literals;
      entry.literals = literals(element);
      if (!entry.literals) return;
    } else if (element.kind == NodeKind::Record) {
      entry.test = ElementTest::Record;
      entry.record = record(element);
      entry.record_node = &element;
      if (!entry.record) return;
    } else {
      return;
    }
    fast_.sequence_slots.put(id, fast_.sequences.size());
    fast_.sequences.push_back(entry);
  }

  const Constants& constants_;
  const WalkPlan& plan_;
  FastPlan& fast_;
};

}  // namespace

std::unique_ptr<FastPlan> build_fast_plan(const ValidatorCore& core, const WalkPlan& plan) {
  auto fast = std::make_unique<FastPlan>();
  FastPlanBuilder builder(core, plan, *fast);
  builder.visit(core.root);
  for (const SchemaNode& d : core.definitions) builder.visit(d);
  return fast;
}

const FastSequence* find_fast_sequence(const WalkPlan* plan, const SchemaNode& sequence) {
  if (!plan || !plan->fast) return nullptr;
  const uint64_t* slot = plan->fast->sequence_slots.find(identity_of(sequence.pattern.get()));
  return slot ? &plan->fast->sequences[*slot] : nullptr;
}

const FastLiterals* find_fast_literals(const WalkPlan* plan, const SchemaNode& union_node) {
  if (!plan || !plan->fast) return nullptr;
  const uint64_t* slot = plan->fast->union_slots.find(identity_of(&union_node.members));
  return slot ? &plan->fast->unions[*slot] : nullptr;
}

const FastRecord* find_fast_record(const WalkPlan* plan, const SchemaNode& record) {
  if (!plan || !plan->fast) return nullptr;
  const uint64_t* slot = plan->fast->record_slots.find(identity_of(&record.fields));
  return slot ? &plan->fast->records[*slot] : nullptr;
}

}  // namespace tarmelix::check
