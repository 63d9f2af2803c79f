#include "json/json_walk.h"

#include <algorithm>
#include <array>
#include <unordered_set>
#include <vector>

#include "check/constraints.h"
#include "check/walk.h"
#include "check/walk_plan.h"
#include "py/error.h"
#include "py/stack.h"
#include "py/text.h"
#include "schema/sequence_shape.h"

namespace tarmelix::json {

// The walk's own machinery, which the JSON walk shares.
using check::DefinitionMemo;
using check::GuardEntry;
using check::RecursionGuard;
using check::make_record_index;
using schema::read_sequence_shape;
using schema::SequenceShape;

namespace {

using K = JsonValueKind;

// The Python walk of a node over the converted value (CheckOnly: nothing is
// pushed or recorded).
bool walk_python(const SchemaNode& node, PyObject* value, const WalkContext& ctx) {
  WalkPath path;
  ErrorList errors;
  return walk_value(node, value, path, ctx, errors);
}

// Literal without conversion where no Python code could run: exact str, int,
// bool and float constants against the JSON value of their own kind. Empty
// when the general road (convert, then compare) is needed, or with the error
// set when the constant's text could not be read.
std::optional<bool> literal_in_place(PyObject* constant, const JsonValue& value) {
  PyTypeObject* type = Py_TYPE(constant);
  if (type == &PyUnicode_Type) {
    if (value.kind != K::Str) return false;
    std::optional<std::string_view> text = py::utf8_view_or_error(constant);
    if (!text && PyErr_Occurred()) return std::nullopt;
    // A lone surrogate: no JSON text equals it.
    return text && value.str() == *text;
  }
  if (type == &PyBool_Type) return value.kind == K::Bool && value.boolean == (constant == Py_True);
  if (type == &PyLong_Type) {
    if (value.kind == K::Int) {
      int overflow = 0;
      long long c = PyLong_AsLongLongAndOverflow(constant, &overflow);
      if (c == -1 && PyErr_Occurred()) {
        PyErr_Clear();
        return std::nullopt;
      }
      return overflow == 0 && c == value.integer;
    }
    if (value.kind == K::BigInt) return std::nullopt;
    return false;
  }
  if (type == &PyFloat_Type) {
    return value.kind == K::Float && value.number == PyFloat_AS_DOUBLE(constant);
  }
  return std::nullopt;
}

bool walk_literal(const SchemaNode& node, const JsonValue& value, const WalkContext& ctx) {
  PyObject* constant = ctx.constant(node.index);
  if (!constant) return false;
  if (std::optional<bool> quick = literal_in_place(constant, value)) return *quick;
  if (PyErr_Occurred()) return ctx.fold_pending();
  py::Ref converted = json_to_python(value);
  if (!converted) return ctx.fold_pending();
  return walk_python(node, converted.get(), ctx);
}

bool walk_union(const SchemaNode& node, const JsonValue& value, const WalkContext& ctx) {
  if (value.kind == K::Str || value.kind == K::Int) {
    if (const LiteralSets* sets = find_literal_sets(ctx.plan, node)) {
      // Only exact str and int literals can equal these, and the sets hold
      // every one of them that can.
      if (value.kind == K::Str) return sets->str_values.contains(value.str());
      return sets->int_values.contains(static_cast<uint64_t>(value.integer));
    }
  }
  DefinitionMemo& memo = ctx.state->definition_memo;
  const uint64_t entered = memo.entered;
  for (const SchemaNode& member : node.members) {
    if (walk_json(member, value, ctx)) return true;
    memo.note_repeat(entered);
  }
  return false;
}

bool walk_array(const SchemaNode& node, const JsonValue& value, const WalkContext& ctx) {
  if (!node.pattern) return false;
  std::optional<SequenceShape> shape = read_sequence_shape(*node.pattern);
  if (!shape) return false;
  // Arrays stand for lists only.
  if (node.sequence_kind != SequenceKind::List || value.kind != K::Array) return false;
  size_t n = static_cast<size_t>(value.size);
  if (shape->tail ? n < shape->fixed : n != shape->fixed) return false;
  const JsonValue* element = value.first();
  for (size_t i = 0; i < n; ++i, element = element->next()) {
    const SchemaNode& item = i < shape->fixed ? shape->item(i) : *shape->tail;
    if (!walk_json(item, *element, ctx)) return false;
  }
  return true;
}

bool match_clauses(const std::vector<KeyValueClause>& clauses, const JsonValue& key,
                   const JsonValue& value, const WalkContext& ctx) {
  DefinitionMemo& memo = ctx.state->definition_memo;
  const uint64_t entered = memo.entered;
  for (const KeyValueClause& clause : clauses) {
    if (walk_json(clause.key, key, ctx) && walk_json(clause.value, value, ctx)) return true;
    memo.note_repeat(entered);
  }
  return false;
}

// A record against an object, read as the dict the document loads to: each
// key counts by its last entry; declared keys against their fields, the
// others against the clauses.
bool walk_object_record(const SchemaNode& node, const JsonValue& value, const WalkContext& ctx) {
  if (value.kind != K::Object) return false;
  const size_t count = static_cast<size_t>(value.size);
  const size_t nfields = node.fields.size();

  const RecordIndex* index = nullptr;
  RecordIndex local;
  if (nfields > 0) {
    index = find_record_index(ctx.plan, node);
    if (!index) {
      local = make_record_index(node.fields);
      index = &local;
    }
  }

  // Per field position, the key of the last entry naming it.
  std::array<const JsonValue*, 32> small;
  std::vector<const JsonValue*> large;
  const JsonValue** last = small.data();
  if (nfields > small.size()) {
    large.assign(nfields, nullptr);
    last = large.data();
  } else {
    std::fill_n(last, nfields, nullptr);
  }

  // With every field name distinct, field j is its name's position, and keys
  // that come in field order are matched by one comparison each.
  const bool distinct = index && index->field_positions.size() == nfields;
  size_t expected = 0;
  size_t undeclared = 0;
  const JsonValue* key = value.first();
  for (size_t i = 0; i < count; ++i, key = key[1].next()) {
    std::string_view text = key->str();
    if (distinct && expected < nfields && node.fields[expected].name == text) {
      last[expected++] = key;
      continue;
    }
    const uint64_t* pos = index ? index->field_positions.find(text) : nullptr;
    if (pos) {
      last[*pos] = key;
      expected = static_cast<size_t>(*pos) + 1;
    } else {
      ++undeclared;
    }
  }

  // Each present key is checked against the field its name maps to (the last
  // field of that name), as for a dict; the record needs every required
  // field counted, so two fields of one name behave as they do for a dict.
  size_t required_seen = 0;
  for (size_t p = 0; p < nfields; ++p) {
    const JsonValue* found = last[p];
    if (!found) continue;
    if (!walk_json(node.fields[p].node, found[1], ctx)) return false;
    if (node.fields[p].required) ++required_seen;
  }
  if (index && required_seen != index->required_count) return false;

  if (undeclared == 0) return true;
  if (node.clauses.empty()) return false;

  // The undeclared keys, each by its last entry.
  std::vector<const JsonValue*> others;
  others.reserve(undeclared);
  key = value.first();
  for (size_t i = 0; i < count; ++i, key = key[1].next()) {
    if (!index || !index->field_positions.find(key->str())) others.push_back(key);
  }
  // Few keys: look for a later entry of the same key directly; many: a set.
  constexpr size_t FEW = 16;
  std::unordered_set<std::string_view, FxHasher> seen;
  for (size_t i = others.size(); i-- > 0;) {
    const JsonValue* k = others[i];
    bool repeated = false;
    if (others.size() <= FEW) {
      for (size_t j = i + 1; j < others.size() && !repeated; ++j) {
        repeated = others[j]->str() == k->str();
      }
    } else {
      repeated = !seen.insert(k->str()).second;
    }
    if (repeated) continue;
    if (!match_clauses(node.clauses, *k, k[1], ctx)) return false;
  }
  return true;
}

bool walk_converted(const SchemaNode& node, const JsonValue& value, const WalkContext& ctx,
                    bool fold_failure) {
  py::Ref converted = json_to_python(value);
  if (!converted) {
    if (fold_failure) return ctx.fold_pending();
    PyErr_Clear();
    return false;
  }
  return walk_python(node, converted.get(), ctx);
}

bool walk_constrained(const SchemaNode& node, const JsonValue& value, const WalkContext& ctx) {
  if (!node.child || !walk_json(*node.child, value, ctx)) return false;
  py::Ref converted = json_to_python(value);
  if (!converted) {
    PyErr_Clear();
    return false;
  }
  WalkPath path;
  ErrorList errors;
  for (const Constraint& constraint : node.constraints) {
    if (!check_constraint(constraint, converted.get(), path, ctx, errors)) return false;
  }
  return true;
}

bool walk_definition(const SchemaNode& node, const JsonValue& value, const WalkContext& ctx) {
  const uint64_t identity = reinterpret_cast<uintptr_t>(&value);
  RecursionGuard& guard = ctx.state->recursion_guard;
  DefinitionMemo& memo = ctx.state->definition_memo;
  // Only arrays and objects can be reached again down several union members
  // at a cost worth keeping an answer for (see check/definition_memo.h).
  ++memo.entered;
  const bool remembered = memo.active && value.is_container();
  const size_t guard_depth = guard.size();
  if (remembered) {
    if (const DefinitionMemo::Answer* answer = memo.find(identity, node.index, false, guard_depth)) {
      return answer->member;
    }
  }
  if (!py::stack_has_room(py::WALK_STACK_RESERVE)) {
    py::set_stack_exhausted();
    store_fatal_exception(py::take_exception(), ctx.state->fatal_error, ctx.state->stop);
    return false;
  }
  switch (guard.enter(identity, node.index)) {
    case GuardEntry::Loop:
      ++memo.loops;
      return false;
    case GuardEntry::Limit:
      ++memo.limits;
      return false;
    case GuardEntry::Entered:
      break;
  }
  const uint64_t loops = memo.loops;
  const uint64_t limits = memo.limits;
  bool member = false;
  if (node.index < ctx.definitions->size()) {
    member = walk_json((*ctx.definitions)[node.index], value, ctx);
  }
  guard.leave(identity, node.index);
  if (remembered && !ctx.stopped() && memo.loops == loops) {
    memo.remember(identity, node.index, false, {member, guard_depth, memo.limits != limits, {}},
                  py::Ref());
  }
  return member;
}

}  // namespace

bool walk_json(const SchemaNode& node, const JsonValue& value, const WalkContext& ctx) {
  if (ctx.stopped()) return false;
  switch (node.kind) {
    case NodeKind::Anything:
    case NodeKind::Any:
      return true;
    case NodeKind::Nothing:
    case NodeKind::Bytes:
    case NodeKind::Set:
    case NodeKind::FrozenSet:
    case NodeKind::RecursionVariable:
      return false;
    case NodeKind::NoneValue:
      return value.kind == K::Null;
    case NodeKind::Bool:
      return value.kind == K::Bool;
    case NodeKind::Int:
      return value.kind == K::Bool || value.kind == K::Int || value.kind == K::BigInt;
    case NodeKind::Float:
      return value.kind == K::Float;
    case NodeKind::Str:
      return value.kind == K::Str;
    case NodeKind::Literal:
      return walk_literal(node, value, ctx);
    case NodeKind::Sequence:
      return walk_array(node, value, ctx);
    case NodeKind::Record:
      return walk_object_record(node, value, ctx);
    case NodeKind::Union:
      return walk_union(node, value, ctx);
    case NodeKind::Intersection: {
      DefinitionMemo& memo = ctx.state->definition_memo;
      const uint64_t entered = memo.entered;
      for (const SchemaNode& member : node.members) {
        if (!walk_json(member, value, ctx)) return false;
        memo.note_repeat(entered);
      }
      return true;
    }
    case NodeKind::Complement:
      return node.child && !walk_json(*node.child, value, ctx);
    case NodeKind::Instance:
      if (!ctx.constant(node.index)) return false;
      return walk_converted(node, value, ctx, true);
    case NodeKind::Object:
      return walk_converted(node, value, ctx, false);
    case NodeKind::Constrained:
      return walk_constrained(node, value, ctx);
    case NodeKind::DefinitionRef:
      return walk_definition(node, value, ctx);
  }
  return false;
}

}  // namespace tarmelix::json
