#include "check/walk_plan.h"

#include <re2/re2.h>

#include <algorithm>
#include <span>

#include "check/attribute_names.h"
#include "check/slow_paths.h"
#include "py/exact_scalar.h"
#include "py/text.h"
#include "schema/full_match.h"
#include "schema/walker.h"

namespace tarmelix::check {

WalkPlan::WalkPlan() = default;
WalkPlan::~WalkPlan() = default;

namespace {

// A type whose == of an object with itself is true without running code of
// the user's: object's, int's or str's own comparison (enum members
// included), not a float's (NaN) nor an overridden __eq__.
bool compared_by_identity(PyTypeObject* type) {
  richcmpfunc compare = type->tp_richcompare;
  return compare == PyBaseObject_Type.tp_richcompare || compare == PyLong_Type.tp_richcompare ||
         compare == PyUnicode_Type.tp_richcompare;
}

// An exact int in the int64 range, or an exact str that encodes: the two
// kinds of literal the sets and tags hold.
struct Tag {
  bool is_int = false;
  int64_t integer = 0;
  std::string_view text;
};

std::optional<Tag> tag_of(PyObject* constant) {
  if (PyLong_CheckExact(constant)) {
    int overflow = 0;
    long long v = PyLong_AsLongLongAndOverflow(constant, &overflow);
    if (overflow != 0 || (v == -1 && PyErr_Occurred())) {
      // Not a tag of the shortcut; the reference walk compares it.
      PyErr_Clear();
      return std::nullopt;
    }
    return Tag{true, v, {}};
  }
  if (PyUnicode_CheckExact(constant)) {
    bool failed = false;
    if (auto text = py::utf8_unless_surrogate(constant, failed)) return Tag{false, 0, *text};
  }
  return std::nullopt;
}

class PlanBuilder {
 public:
  PlanBuilder(const ValidatorCore& core, WalkPlan& plan, PlanPartBuilder* part)
      : constants_(core.constants), plan_(plan), part_(part) {
    plan_.entries.resize(core.node_count);
  }

  void tree(const SchemaNode& root) {
    schema::walk_tree(
        root, [&](const SchemaNode&) { pure_.push_back(true); },
        [&](const SchemaNode& n) {
          post(n);
          if (part_) part_->post(n, plan_);
        });
  }

  // No node's own step, in the root or any definition, can run code of the
  // user's on any value.
  bool own_steps = true;

 private:
  // Every fact of one node, its children's facts already made.
  void post(const SchemaNode& n) {
    const bool own_step = locally_pure(n);
    // A reference's definition is walked as a tree of its own.
    if (!own_step && n.kind != NodeKind::DefinitionRef) own_steps = false;
    bool pure = pure_.back() && own_step;
    pure_.pop_back();
    if (!pure_.empty()) pure_.back() = pure_.back() && pure;
    if (n.slot >= plan_.entries.size()) return;  // not numbered by this core
    PlanEntry& e = plan_.entries[n.slot];
    if (std::optional<uint8_t> py = py_type_mask(n.kind)) {
      e.by_type = true;
      e.py_types = *py;
      return;
    }
    switch (n.kind) {
      case NodeKind::Record:
        record(n, e);
        break;
      case NodeKind::Union:
        union_node(n, e, pure);
        break;
      case NodeKind::Object:
        object(n, e);
        break;
      case NodeKind::Constrained:
        constrained(n, e);
        break;
      case NodeKind::Literal:
        literal_union(std::span<const SchemaNode>(&n, 1), e);
        break;
      case NodeKind::Instance:
        if (n.index < constants_.size() && PyType_Check(constants_[n.index].get())) {
          e.exact_class = constants_[n.index].get();
        }
        break;
      default:
        break;
    }
  }

  // Whether a node's own step can run code of the user's on any value: a
  // class test, an attribute read, a set's iterator, a constraint's
  // comparison or length on a subclass, a literal of a type with its own ==.
  bool locally_pure(const SchemaNode& n) const {
    switch (n.kind) {
      case NodeKind::Instance:
      case NodeKind::Object:
      case NodeKind::Set:
      case NodeKind::FrozenSet:
      case NodeKind::DefinitionRef:
        return false;
      case NodeKind::Literal:
        return n.index < constants_.size() && py::is_exact_scalar(constants_[n.index].get()) &&
               !PyFloat_CheckExact(constants_[n.index].get());
      case NodeKind::Constrained:
        for (const Constraint& c : n.constraints) {
          if (c.kind != ConstraintKind::Regex) return false;
        }
        return true;
      default:
        return true;
    }
  }

  void record(const SchemaNode& n, PlanEntry& e) {
    if (n.fields.empty()) return;
    PlanRecord r;
    r.node = &n;
    r.index = make_record_index(n.fields);
    r.names = make_attribute_names(n.fields);
    if (r.names.empty()) {
      // The record takes the reference walk, which needs no names.
      PyErr_Clear();
    } else {
      for (size_t i = 0; i < r.names.size(); ++i) {
        const uint64_t* position = r.index.field_positions.find(n.fields[i].name);
        if (!position || *position != i) r.names[i].reset();
      }
    }
    e.record = static_cast<uint32_t>(plan_.records.size());
    plan_.records.push_back(std::move(r));
  }

  void object(const SchemaNode& n, PlanEntry& e) {
    if (n.fields.empty()) return;
    std::vector<py::Ref> names = make_attribute_names(n.fields);
    if (names.empty()) {
      // Left to the walk, which makes them itself and reports the failure.
      PyErr_Clear();
      return;
    }
    e.attributes = static_cast<uint32_t>(plan_.attribute_names.size());
    plan_.attribute_names.push_back(std::move(names));
  }

  void union_node(const SchemaNode& n, PlanEntry& e, bool pure) {
    bool by_type = true;
    uint8_t py = 0;
    for (const SchemaNode& m : n.members) {
      const PlanEntry* me = plan_.entry(m);
      if (!me || !me->by_type) {
        by_type = false;
        break;
      }
      py |= me->py_types;
    }
    e.by_type = by_type;
    e.py_types = py;
    literal_union(n.members, e);
    if (pure) tagged_union(n, e);
  }

  // The sets of a Literal node (one member) or of an all-literal Union.
  void literal_union(std::span<const SchemaNode> members, PlanEntry& e) {
    PlanLiterals entry;
    for (const SchemaNode& m : members) {
      if (m.kind != NodeKind::Literal || m.index >= constants_.size()) return;
      PyObject* value = constants_[m.index].get();
      if (PyLong_CheckExact(value)) {
        int overflow = 0;
        long long v = PyLong_AsLongLongAndOverflow(value, &overflow);
        if (overflow == 0) entry.sets.int_values.put(static_cast<uint64_t>(v), 0);
      } else if (PyUnicode_CheckExact(value)) {
        bool failed = false;
        if (auto text = py::utf8_unless_surrogate(value, failed)) {
          entry.sets.str_values.put(*text, str_hash(value), 0);
        } else if (failed) {
          // Sets without this text would refuse it for good; the members'
          // own walk stays exact.
          return;
        }
      }
      if (compared_by_identity(Py_TYPE(value))) {
        entry.identities.put(reinterpret_cast<uintptr_t>(value), 0);
        entry.owned.push_back(py::Ref::borrow(value));
      }
    }
    dense_ints(members, entry);
    e.literals = static_cast<uint32_t>(plan_.literals.size());
    plan_.literals.push_back(std::move(entry));
  }

  static void dense_ints(const std::vector<int64_t>& values, PlanLiterals& entry) {
    if (values.empty()) return;
    const int64_t least = *std::min_element(values.begin(), values.end());
    uint64_t bits = 0;
    for (int64_t v : values) {
      const uint64_t offset = static_cast<uint64_t>(v) - static_cast<uint64_t>(least);
      if (offset >= 64) return;
      bits |= uint64_t{1} << offset;
    }
    entry.ints_dense = true;
    entry.int_base = least;
    entry.int_bits = bits;
  }

  void dense_ints(std::span<const SchemaNode> members, PlanLiterals& entry) const {
    std::vector<int64_t> values;
    for (const SchemaNode& m : members) {
      PyObject* value = constants_[m.index].get();
      if (!PyLong_CheckExact(value)) continue;
      int overflow = 0;
      const long long v = PyLong_AsLongLongAndOverflow(value, &overflow);
      if (overflow == 0) values.push_back(v);
    }
    dense_ints(values, entry);
  }

  // The tags a field's node admits, when it admits only exact int and str
  // literals; empty otherwise.
  std::optional<std::vector<Tag>> field_tags(const SchemaNode& node) const {
    std::vector<Tag> tags;
    auto add = [&](const SchemaNode& lit) {
      if (lit.kind != NodeKind::Literal || lit.index >= constants_.size()) return false;
      std::optional<Tag> tag = tag_of(constants_[lit.index].get());
      if (!tag) return false;
      tags.push_back(*tag);
      return true;
    };
    if (node.kind == NodeKind::Union) {
      if (node.members.empty()) return std::nullopt;
      for (const SchemaNode& m : node.members) {
        if (!add(m)) return std::nullopt;
      }
    } else if (!add(node)) {
      return std::nullopt;
    }
    return tags;
  }

  // The one required field of that name in a record, or null.
  static const RecordField* only_required(const SchemaNode& record, std::string_view name) {
    const RecordField* found = nullptr;
    for (const RecordField& f : record.fields) {
      if (f.name != name) continue;
      if (found) return nullptr;
      found = &f;
    }
    return found && found->required ? found : nullptr;
  }

  void tagged_union(const SchemaNode& n, PlanEntry& e) {
    if (n.members.size() < 2) return;
    for (const SchemaNode& m : n.members) {
      if (m.kind != NodeKind::Record || m.fields.empty()) return;
    }
    for (const RecordField& candidate : n.members.front().fields) {
      PlanTagged tagged;
      tagged.union_node = &n;
      tagged.name = candidate.name;
      bool ok = true;
      for (size_t i = 0; i < n.members.size() && ok; ++i) {
        const RecordField* field = only_required(n.members[i], candidate.name);
        std::optional<std::vector<Tag>> tags = field ? field_tags(field->node) : std::nullopt;
        if (!tags) {
          ok = false;
          break;
        }
        for (const Tag& t : *tags) {
          const uint64_t* owner = t.is_int ? tagged.int_tags.find(static_cast<uint64_t>(t.integer))
                                           : tagged.str_tags.find(t.text);
          if (owner && *owner != i) {
            ok = false;
            break;
          }
          if (t.is_int) {
            tagged.int_tags.put(static_cast<uint64_t>(t.integer), i);
          } else {
            tagged.str_tags.put(t.text, i);
          }
        }
      }
      if (!ok) continue;
      std::vector<RecordField> one{RecordField{candidate.name, SchemaNode(), true}};
      std::vector<py::Ref> interned = make_attribute_names(one);
      if (interned.empty()) {
        // No shortcut; the union takes the reference walk.
        PyErr_Clear();
        return;
      }
      tagged.interned = std::move(interned.front());
      e.tagged = static_cast<uint32_t>(plan_.tagged.size());
      plan_.tagged.push_back(std::move(tagged));
      return;
    }
  }

  void constrained(const SchemaNode& n, PlanEntry& e) {
    PlanBounds b;
    b.node = &n;
    for (const Constraint& c : n.constraints) {
      const re2::RE2* compiled = nullptr;
      if (c.kind == ConstraintKind::Regex) compiled = regex(c.pattern);
      b.patterns.push_back(compiled);
      b.bounds.push_back(make_native_bound(c, constants_));
    }
    e.bounds = static_cast<uint32_t>(plan_.bounds.size());
    plan_.bounds.push_back(std::move(b));
  }

  const re2::RE2* regex(const std::string& text) {
    auto found = plan_.compiled_patterns.find(text);
    if (found != plan_.compiled_patterns.end()) return found->second.get();
    std::string error;
    std::unique_ptr<re2::RE2> compiled = compile_full_match(text, &error);
    if (!compiled) return nullptr;
    return plan_.compiled_patterns.emplace(text, std::move(compiled)).first->second.get();
  }

  const Constants& constants_;
  WalkPlan& plan_;
  PlanPartBuilder* part_;
  std::vector<bool> pure_;  // per open node: whether its subtree so far runs no user code
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
  const PlanRecord* r = plan->record(record);
  return r ? &r->index : nullptr;
}

const LiteralSets* find_literal_sets(const WalkPlan* plan, const SchemaNode& union_node) {
  if (!plan) return nullptr;
  const PlanLiterals* l = plan->literal_union(union_node);
  return l ? &l->sets : nullptr;
}

const re2::RE2* find_compiled_pattern(const WalkPlan* plan, std::string_view text) {
  if (!plan) return nullptr;
  auto it = plan->compiled_patterns.find(text);
  return it == plan->compiled_patterns.end() ? nullptr : it->second.get();
}

std::unique_ptr<WalkPlan> build_walk_plan(const ValidatorCore& core, PlanPartBuilder* part) {
  auto plan = std::make_unique<WalkPlan>();
  PlanBuilder builder(core, *plan, part);
  builder.tree(core.root);
  for (const SchemaNode& d : core.definitions) builder.tree(d);
  plan->got_texts_may_wait = builder.own_steps;
  if (part) plan->part = part->finish(*plan);
  return plan;
}

const WalkPlan* core_walk_plan(const ValidatorCore& core) {
  if (core.walk_plan_state.load(std::memory_order_acquire) != WalkPlanState::Built) return nullptr;
  return static_cast<const WalkPlan*>(core.walk_plan.get());
}

const WalkPlan* plan_for_walks(const ValidatorCore& core) {
  return slow_paths_only() ? nullptr : core_walk_plan(core);
}

void ensure_walk_plan(ValidatorCore& core, PlanPartBuilder* part) {
  if (core.walk_plan_state.load(std::memory_order_acquire) == WalkPlanState::Built) return;
  // Wait for a builder on another thread detached from the interpreter, so
  // neither can block the other on the interpreter lock and the mutex.
  PyThreadState* ts = PyEval_SaveThread();
  std::unique_lock lock(core.walk_plan_mutex);
  PyEval_RestoreThread(ts);
  if (core.walk_plan_state.load(std::memory_order_acquire) == WalkPlanState::Built) return;
  core.walk_plan_state.store(WalkPlanState::Building, std::memory_order_relaxed);
  try {
    core.walk_plan = build_walk_plan(core, part);
  } catch (...) {
    core.walk_plan.reset();
    core.walk_plan_state.store(WalkPlanState::NotBuilt, std::memory_order_relaxed);
    throw;
  }
  core.walk_plan_state.store(WalkPlanState::Built, std::memory_order_release);
}

}  // namespace tarmelix::check
