#include "check/walk_plan.h"

#include <re2/re2.h>

#include "check/attribute_names.h"
#include "check/fast_plan.h"
#include "check/slow_paths.h"
#include "check/validate.h"
#include "py/stack.h"
#include "py/text.h"
#include "schema/full_match.h"

namespace tarmelix::check {

WalkPlan::WalkPlan() = default;
WalkPlan::~WalkPlan() = default;

namespace {

uint64_t identity_of(const void* p) { return reinterpret_cast<uintptr_t>(p); }

// The UTF-8 text of an exact str, or empty when it holds a lone surrogate.
// Checks first, so no exception object is made while the plan is built. Any
// other failure (a MemoryError) sets `failed`, its exception discarded.
std::optional<std::string_view> utf8_without_raising(PyObject* text, bool& failed) {
  if (PyUnicode_KIND(text) != PyUnicode_1BYTE_KIND) {
    Py_ssize_t n = PyUnicode_GET_LENGTH(text);
    int kind = PyUnicode_KIND(text);
    const void* data = PyUnicode_DATA(text);
    for (Py_ssize_t i = 0; i < n; ++i) {
      Py_UCS4 c = PyUnicode_READ(kind, data, i);
      if (c >= 0xD800 && c <= 0xDFFF) return std::nullopt;
    }
  }
  std::optional<std::string_view> utf8 = py::utf8_view(text);
  failed = !utf8;
  return utf8;
}

class PlanBuilder {
 public:
  PlanBuilder(const Constants& constants, WalkPlan& plan) : constants_(constants), plan_(plan) {}

  void node(const SchemaNode& n) {
    py::require_stack_room("validating");
    switch (n.kind) {
      case NodeKind::Record:
        record(n);
        break;
      case NodeKind::Union:
        union_node(n);
        break;
      case NodeKind::Intersection:
        for (const SchemaNode& m : n.members) node(m);
        break;
      case NodeKind::Set:
      case NodeKind::FrozenSet:
      case NodeKind::Complement:
        if (n.child) node(*n.child);
        break;
      case NodeKind::Sequence:
        if (n.pattern) pattern(*n.pattern);
        break;
      case NodeKind::Object:
        object(n);
        break;
      case NodeKind::Constrained:
        if (n.child) node(*n.child);
        for (const Constraint& c : n.constraints) {
          if (c.kind == ConstraintKind::Regex) regex(c.pattern);
        }
        break;
      default:
        break;
    }
  }

 private:
  void pattern(const SequencePattern& p) {
    switch (p.kind) {
      case PatternKind::Item:
        if (p.node) node(*p.node);
        break;
      case PatternKind::Concat:
      case PatternKind::Alternation:
        for (const SequencePattern& part : p.parts) pattern(part);
        break;
      case PatternKind::Repeat:
        if (p.body) pattern(*p.body);
        break;
      case PatternKind::Empty:
        break;
    }
  }

  void record(const SchemaNode& n) {
    uint64_t id = identity_of(&n.fields);
    if (!n.fields.empty() && !plan_.record_slots.contains(id)) {
      plan_.record_slots.put(id, plan_.records.size());
      plan_.records.push_back(make_record_index(n.fields));
    }
    for (const RecordField& f : n.fields) node(f.node);
    for (const KeyValueClause& c : n.clauses) {
      node(c.key);
      node(c.value);
    }
  }

  void object(const SchemaNode& n) {
    uint64_t id = identity_of(&n.fields);
    if (!n.fields.empty() && !plan_.object_slots.contains(id)) {
      std::vector<py::Ref> names = make_attribute_names(n.fields);
      if (names.empty()) {
        // Left to the walk, which makes them itself and reports the failure.
        PyErr_Clear();
      } else {
        plan_.object_slots.put(id, plan_.attribute_names.size());
        plan_.attribute_names.push_back(std::move(names));
      }
    }
    for (const RecordField& f : n.fields) node(f.node);
  }

  void union_node(const SchemaNode& n) {
    LiteralSets sets;
    bool all_literals = true;
    for (const SchemaNode& m : n.members) {
      if (m.kind != NodeKind::Literal || m.index >= constants_.size()) {
        all_literals = false;
        break;
      }
      PyObject* value = constants_[m.index].get();
      if (PyLong_CheckExact(value)) {
        int overflow = 0;
        long long v = PyLong_AsLongLongAndOverflow(value, &overflow);
        if (overflow == 0) sets.int_values.put(static_cast<uint64_t>(v), 0);
      } else if (PyUnicode_CheckExact(value)) {
        bool failed = false;
        if (auto text = utf8_without_raising(value, failed)) {
          sets.str_values.put(*text, str_hash(value), 0);
        } else if (failed) {
          // Sets without this text would refuse it for good; the members'
          // own walk stays exact.
          all_literals = false;
          break;
        }
      }
    }
    uint64_t id = identity_of(&n.members);
    if (all_literals && !plan_.union_slots.contains(id)) {
      plan_.union_slots.put(id, plan_.unions.size());
      plan_.unions.push_back(std::move(sets));
    }
    for (const SchemaNode& m : n.members) node(m);
  }

  void regex(const std::string& text) {
    if (plan_.compiled_patterns.find(text) != plan_.compiled_patterns.end()) return;
    std::string error;
    std::unique_ptr<re2::RE2> compiled = compile_full_match(text, &error);
    if (compiled) plan_.compiled_patterns.emplace(text, std::move(compiled));
  }

  const Constants& constants_;
  WalkPlan& plan_;
};

}  // namespace

RecordIndex make_record_index(const std::vector<RecordField>& fields) {
  RecordIndex index;
  for (size_t i = 0; i < fields.size(); ++i) {
    index.field_positions.put(fields[i].name, text_hash(fields[i].name), i);
    if (fields[i].required) ++index.required_count;
  }
  return index;
}

const RecordIndex* find_record_index(const WalkPlan* plan, const SchemaNode& record) {
  if (!plan) return nullptr;
  const uint64_t* slot = plan->record_slots.find(identity_of(&record.fields));
  return slot ? &plan->records[*slot] : nullptr;
}

const LiteralSets* find_literal_sets(const WalkPlan* plan, const SchemaNode& union_node) {
  if (!plan) return nullptr;
  const uint64_t* slot = plan->union_slots.find(identity_of(&union_node.members));
  return slot ? &plan->unions[*slot] : nullptr;
}

const py::Ref* find_attribute_names(const WalkPlan* plan, const std::vector<RecordField>& fields) {
  if (!plan) return nullptr;
  const uint64_t* slot = plan->object_slots.find(identity_of(&fields));
  return slot ? plan->attribute_names[*slot].data() : nullptr;
}

const re2::RE2* find_compiled_pattern(const WalkPlan* plan, std::string_view text) {
  if (!plan) return nullptr;
  auto it = plan->compiled_patterns.find(text);
  return it == plan->compiled_patterns.end() ? nullptr : it->second.get();
}

std::unique_ptr<WalkPlan> build_walk_plan(const ValidatorCore& core) {
  auto plan = std::make_unique<WalkPlan>();
  PlanBuilder builder(core.constants, *plan);
  builder.node(core.root);
  for (const SchemaNode& d : core.definitions) builder.node(d);
  plan->fast = build_fast_plan(core, *plan);
  build_json_facts(core, plan->json);
  return plan;
}

const WalkPlan* core_walk_plan(const ValidatorCore& core) {
  if (core.walk_plan_state.load(std::memory_order_acquire) != WalkPlanState::Built) return nullptr;
  return static_cast<const WalkPlan*>(core.walk_plan.get());
}

const WalkPlan* plan_for_walks(const ValidatorCore& core) {
  return slow_paths_only() ? nullptr : core_walk_plan(core);
}

void ensure_walk_plan(ValidatorCore& core) {
  if (core.walk_plan_state.load(std::memory_order_acquire) == WalkPlanState::Built) return;
  // Wait for a builder on another thread detached from the interpreter, so
  // neither can block the other on the interpreter lock and the mutex.
  PyThreadState* ts = PyEval_SaveThread();
  std::unique_lock lock(core.walk_plan_mutex);
  PyEval_RestoreThread(ts);
  if (core.walk_plan_state.load(std::memory_order_acquire) == WalkPlanState::Built) return;
  core.walk_plan_state.store(WalkPlanState::Building, std::memory_order_relaxed);
  try {
    core.walk_plan = build_walk_plan(core);
  } catch (...) {
    core.walk_plan.reset();
    core.walk_plan_state.store(WalkPlanState::NotBuilt, std::memory_order_relaxed);
    throw;
  }
  core.walk_plan_state.store(WalkPlanState::Built, std::memory_order_release);
}

}  // namespace tarmelix::check
