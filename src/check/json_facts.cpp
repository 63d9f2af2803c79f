#include "check/json_facts.h"

#include <cstring>

#include "py/stack.h"
#include "schema/measure.h"

namespace tarmelix::check {

namespace {

bool is_exact_scalar(PyObject* value) {
  return PyUnicode_CheckExact(value) || PyLong_CheckExact(value) || PyBool_Check(value) ||
         PyFloat_CheckExact(value);
}

class FactsBuilder {
 public:
  FactsBuilder(const Constants& constants, JsonFacts& facts) : constants_(constants), facts_(facts) {}

  bool own_code = true;

  // The per-kind facts of one node; the children follow in NodeChildren's
  // order, so this builder keeps no copy of the tree's shape.
  void node(const SchemaNode& n) {
    py::require_stack_room("validating");
    switch (n.kind) {
      case NodeKind::Instance:
      case NodeKind::Object:
        own_code = false;
        break;
      case NodeKind::Literal:
        if (n.index >= constants_.size() || !is_exact_scalar(constants_[n.index].get())) {
          own_code = false;
        }
        break;
      case NodeKind::Union:
        if (std::optional<uint8_t> mask = union_mask(n)) {
          facts_.union_kinds.put(reinterpret_cast<uintptr_t>(&n.members), *mask);
        }
        break;
      case NodeKind::Record:
        record_keys(n);
        break;
      case NodeKind::Constrained:
        for (const Constraint& c : n.constraints) constraint(c);
        break;
      default:
        break;
    }
    NodeChildren children(n);
    while (const SchemaNode* child = children.next()) node(*child);
  }

 private:
  void record_keys(const SchemaNode& n) {
    const uint64_t id = reinterpret_cast<uintptr_t>(&n.fields);
    if (n.fields.empty() || facts_.record_slots.contains(id)) return;
    JsonRecord record;
    for (size_t i = 0; i < n.fields.size(); ++i) {
      const RecordField& f = n.fields[i];
      record.keys.put(f.name, json_key_hash(f.name), i);
      if (f.required) ++record.required_count;
      std::optional<uint8_t> kinds = kind_only_mask(f.node);
      record.field_kinds.push_back(kinds ? *kinds : JSON_WALK);
      JsonKeyPattern& key = record.field_keys.emplace_back();
      const uint32_t length = static_cast<uint32_t>(f.name.size());
      if (f.name.size() <= JsonKeyPattern::BYTES - sizeof length) {
        std::memcpy(key.bytes, &length, sizeof length);
        std::memcpy(key.bytes + sizeof length, f.name.data(), f.name.size());
        key.width = static_cast<uint8_t>(sizeof length + f.name.size());
      }
    }
    record.distinct = record.keys.size() == n.fields.size();
    facts_.record_slots.put(id, facts_.records.size());
    facts_.records.push_back(std::move(record));
  }

  static std::optional<uint8_t> kind_only_mask(const SchemaNode& n) {
    return n.kind == NodeKind::Union ? union_mask(n) : json_kind_mask(n.kind);
  }

  void constraint(const Constraint& c) {
    switch (c.kind) {
      case ConstraintKind::Ge:
      case ConstraintKind::Gt:
      case ConstraintKind::Le:
      case ConstraintKind::Lt:
      case ConstraintKind::MultipleOf: {
        // A JSON number against an exact int or float bound: the
        // interpreter's own arithmetic.
        PyObject* bound = c.value < constants_.size() ? constants_[c.value].get() : nullptr;
        if (!bound || !(PyLong_CheckExact(bound) || PyFloat_CheckExact(bound))) own_code = false;
        break;
      }
      case ConstraintKind::Predicate:
        own_code = false;
        break;
      case ConstraintKind::MinLen:
      case ConstraintKind::MaxLen:
      case ConstraintKind::Regex:
        break;
    }
  }

  static std::optional<uint8_t> union_mask(const SchemaNode& n) {
    py::require_stack_room("validating");
    uint8_t mask = 0;
    for (const SchemaNode& m : n.members) {
      std::optional<uint8_t> part = m.kind == NodeKind::Union ? union_mask(m) : json_kind_mask(m.kind);
      if (!part) return std::nullopt;
      mask |= *part;
    }
    return mask;
  }

  const Constants& constants_;
  JsonFacts& facts_;
};

}  // namespace

void build_json_facts(const ValidatorCore& core, JsonFacts& facts) {
  FactsBuilder builder(core.constants, facts);
  builder.node(core.root);
  for (const SchemaNode& d : core.definitions) builder.node(d);
  facts.runs_only_own_code = builder.own_code;
}

}  // namespace tarmelix::check
