// The membership walk of a parsed JSON document, over any tree that offers
// the view below: the event parser's tape (json_value.h) and the SIMD
// parser's tape (json_fast_tape.h) both walk through this one copy, so the
// two roads apply the same record, union, sequence and constraint rules.
//
// A view V is a small value naming one JSON value of its document:
//   explicit operator bool      false only for the empty view
//   kind()                      its JsonValueKind
//   str(), integer(), boolean(), number()   the payload of its kind
//   size()                      Array: elements; Object: entries
//   first(), next()             the first child; the value after this subtree
//   identity()                  unique in the document, never a Python address
//   to_python()                 a new equal Python object, or null with the error set
//                               (a short native stack throws py::StackExhausted)
// An Object's entries are a key (a Str) followed by its value.
#pragma once

#include <algorithm>
#include <memory>
#include <unordered_set>
#include <vector>

#include "check/constraints.h"
#include "check/json_facts.h"
#include "check/walk.h"
#include "check/walk_plan.h"
#include "json/json_value.h"
#include "py/error.h"
#include "py/stack.h"
#include "py/text.h"
#include "schema/sequence_shape.h"

namespace tarmelix::json::walk_impl {

// The walk's own machinery, which the JSON walks share.
using check::DefinitionMemo;
using check::GuardEntry;
using check::RecursionGuard;
using check::TextTable;
using check::find_json_record;
using check::JsonKeyPattern;
using check::JsonRecord;
using check::JSON_WALK;
using check::find_union_kinds;
using check::json_key_hash;
using check::json_kind_mask;
using check::make_record_index;
using check::JSON_ARRAY;
using check::JSON_BOOL;
using check::JSON_FLOAT;
using check::JSON_INT;
using check::JSON_NULL;
using check::JSON_OBJECT;
using check::JSON_STR;
using schema::read_sequence_shape;
using schema::SequenceShape;

using K = JsonValueKind;

inline uint8_t kind_bit(JsonValueKind kind) {
  static constexpr uint8_t bits[] = {JSON_NULL, JSON_BOOL,  JSON_INT,   JSON_INT,
                                     JSON_FLOAT, JSON_STR, JSON_ARRAY, JSON_OBJECT};
  return bits[static_cast<uint8_t>(kind)];
}

template <class V>
bool walk(const SchemaNode& node, V value, const WalkContext& ctx);

// The kinds a node accepts when the kind alone decides it: a scalar node, or
// a union the plan found to be one; empty otherwise.
inline std::optional<uint8_t> kind_only_mask(const SchemaNode& node, const WalkContext& ctx) {
  if (std::optional<uint8_t> mask = json_kind_mask(node.kind)) return mask;
  if (node.kind == NodeKind::Union && ctx.plan) {
    if (const uint64_t* kinds = find_union_kinds(ctx.plan->json, node)) {
      return static_cast<uint8_t>(*kinds);
    }
  }
  return std::nullopt;
}

// The Python walk of a node over the converted value (CheckOnly: nothing is
// pushed or recorded).
inline bool walk_python(const SchemaNode& node, PyObject* value, const WalkContext& ctx) {
  WalkPath path;
  ErrorList errors;
  return walk_value(node, value, path, ctx, errors);
}

// Literal without conversion where no Python code could run: exact str, int,
// bool and float constants against the JSON value of their own kind. Empty
// when the general road (convert, then compare) is needed, or with the error
// set when the constant's text could not be read.
template <class V>
std::optional<bool> literal_in_place(PyObject* constant, V value) {
  PyTypeObject* type = Py_TYPE(constant);
  if (type == &PyUnicode_Type) {
    if (value.kind() != K::Str) return false;
    std::optional<std::string_view> text = py::utf8_view_or_error(constant);
    if (!text && PyErr_Occurred()) return std::nullopt;
    // A lone surrogate: no JSON text equals it.
    return text && value.str() == *text;
  }
  if (type == &PyBool_Type) {
    return value.kind() == K::Bool && value.boolean() == (constant == Py_True);
  }
  if (type == &PyLong_Type) {
    if (value.kind() == K::Int) {
      int overflow = 0;
      long long c = PyLong_AsLongLongAndOverflow(constant, &overflow);
      if (c == -1 && PyErr_Occurred()) {
        PyErr_Clear();
        return std::nullopt;
      }
      return overflow == 0 && c == value.integer();
    }
    if (value.kind() == K::BigInt) return std::nullopt;
    return false;
  }
  if (type == &PyFloat_Type) {
    return value.kind() == K::Float && value.number() == PyFloat_AS_DOUBLE(constant);
  }
  return std::nullopt;
}

template <class V>
bool walk_literal(const SchemaNode& node, V value, const WalkContext& ctx) {
  PyObject* constant = ctx.constant(node.index);
  if (!constant) return false;
  if (std::optional<bool> quick = literal_in_place(constant, value)) return *quick;
  if (PyErr_Occurred()) return ctx.fold_pending();
  py::Ref converted = value.to_python();
  if (!converted) return ctx.fold_pending();
  return walk_python(node, converted.get(), ctx);
}

template <class V>
bool walk_union(const SchemaNode& node, V value, const WalkContext& ctx) {
  if (ctx.plan) {
    if (const uint64_t* kinds = find_union_kinds(ctx.plan->json, node)) {
      return (*kinds & kind_bit(value.kind())) != 0;
    }
  }
  if (value.kind() == K::Str || value.kind() == K::Int) {
    if (const LiteralSets* sets = find_literal_sets(ctx.plan, node)) {
      // Only exact str and int literals can equal these, and the sets hold
      // every one of them that can.
      if (value.kind() == K::Str) return sets->str_values.contains(value.str());
      return sets->int_values.contains(static_cast<uint64_t>(value.integer()));
    }
  }
  DefinitionMemo& memo = ctx.state->definition_memo;
  const uint64_t entered = memo.entered;
  for (const SchemaNode& member : node.members) {
    if (walk(member, value, ctx)) return true;
    memo.note_repeat(entered);
  }
  return false;
}

template <class V>
bool walk_array(const SchemaNode& node, V value, const WalkContext& ctx) {
  if (!node.pattern) return false;
  std::optional<SequenceShape> shape = read_sequence_shape(*node.pattern);
  if (!shape) return false;
  // Arrays stand for lists only.
  if (node.sequence_kind != SequenceKind::List || value.kind() != K::Array) return false;
  size_t n = value.size();
  if (shape->tail ? n < shape->fixed : n != shape->fixed) return false;
  V element = value.first();
  size_t i = 0;
  for (; i < shape->fixed; ++i, element = element.next()) {
    if (!walk(shape->item(i), element, ctx)) return false;
  }
  if (i == n) return true;
  // Items decided by their kind alone (list[float], list[int | str]): one
  // mask test each.
  if (std::optional<uint8_t> mask = kind_only_mask(*shape->tail, ctx)) {
    for (; i < n; ++i, element = element.next()) {
      if ((*mask & kind_bit(element.kind())) == 0) return false;
    }
    return true;
  }
  for (; i < n; ++i, element = element.next()) {
    if (!walk(*shape->tail, element, ctx)) return false;
  }
  return true;
}

template <class V>
bool match_clauses(const std::vector<KeyValueClause>& clauses, V key, V value,
                   const WalkContext& ctx) {
  DefinitionMemo& memo = ctx.state->definition_memo;
  const uint64_t entered = memo.entered;
  for (const KeyValueClause& clause : clauses) {
    if (walk(clause.key, key, ctx) && walk(clause.value, value, ctx)) return true;
    memo.note_repeat(entered);
  }
  return false;
}

// The state of a field position once its value is walked.
enum class Slot : uint8_t { Unwalked, Passed, Failed };

// A record against an object, past the first `checked` keys, which named the
// first fields in order and whose values passed; `failed` says the key
// after them named the next field and its value failed. Each key counts by
// its last entry, as in the dict the document loads to: declared keys
// against their fields, the others against the clauses.
template <class V>
[[gnu::noinline]] bool walk_object_record_rest(const SchemaNode& node, V value,
                                               const WalkContext& ctx, const JsonRecord* record,
                                               size_t checked, bool failed) {
  const size_t count = value.size();
  const size_t nfields = node.fields.size();
  if (nfields > 0 && !record && ctx.plan) record = find_json_record(ctx.plan->json, node);
  RecordIndex local;
  if (nfields > 0 && !record) local = make_record_index(node.fields);
  // A key's field position: the plan's map, by a cheaper hash, or the same
  // map made here.
  auto position = [&](std::string_view text) -> const uint64_t* {
    if (record) return record->keys.find(text, json_key_hash(text));
    return nfields > 0 ? local.field_positions.find(text) : nullptr;
  };
  const size_t required_count = record ? record->required_count : local.required_count;

  // Per field position, the key of the last entry naming it and whether its
  // value is already known. Only the record's own fields are cleared: most
  // records are small.
  constexpr size_t SMALL = 32;
  alignas(V) unsigned char small[SMALL * sizeof(V)];
  Slot small_slots[SMALL];
  std::vector<V> large;
  std::vector<Slot> large_slots;
  V* last = reinterpret_cast<V*>(small);
  Slot* slots = small_slots;
  if (nfields > SMALL) {
    large.assign(nfields, V{});
    large_slots.assign(nfields, Slot::Unwalked);
    last = large.data();
    slots = large_slots.data();
  } else {
    std::uninitialized_fill_n(last, nfields, V{});
    std::fill_n(slots, nfields, Slot::Unwalked);
  }

  V key = value.first();
  size_t i = 0;
  for (; i < checked + (failed ? 1 : 0); ++i, key = key.next().next()) {
    last[i] = key;
    slots[i] = i < checked ? Slot::Passed : Slot::Failed;
  }

  // With every field name distinct, field j is its name's position, and keys
  // that come in field order are matched by one comparison each.
  const bool distinct =
      nfields > 0 && (record ? record->distinct : local.field_positions.size() == nfields);
  size_t expected = i;
  // With no fields every key is undeclared, and its text is read only if a
  // clause looks at it.
  size_t undeclared = nfields == 0 ? count : 0;
  for (; i < count && nfields > 0; ++i, key = key.next().next()) {
    std::string_view text = key.str();
    if (distinct && expected < nfields && node.fields[expected].name == text) {
      slots[expected] = Slot::Unwalked;
      last[expected++] = key;
      continue;
    }
    const uint64_t* pos = position(text);
    if (pos) {
      slots[*pos] = Slot::Unwalked;
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
    const V found = last[p];
    if (!found) continue;
    if (slots[p] == Slot::Failed) return false;
    if (slots[p] == Slot::Unwalked && !walk(node.fields[p].node, found.next(), ctx)) return false;
    if (node.fields[p].required) ++required_seen;
  }
  if (nfields > 0 && required_seen != required_count) return false;

  if (undeclared == 0) return true;
  if (node.clauses.empty()) return false;

  // Where no user code can run, every undeclared entry passing its clauses
  // answers for the last entries among them, with no search for repeats.
  if (ctx.plan && ctx.plan->json.runs_only_own_code) {
    bool all = true;
    key = value.first();
    for (size_t j = 0; j < count && all; ++j, key = key.next().next()) {
      if (nfields == 0 || !position(key.str())) {
        all = match_clauses(node.clauses, key, key.next(), ctx);
      }
    }
    if (all) return true;
    if (ctx.stopped()) return false;
  }

  // The undeclared keys, each by its last entry.
  std::vector<V> others;
  others.reserve(undeclared);
  key = value.first();
  for (size_t j = 0; j < count; ++j, key = key.next().next()) {
    if (!position(key.str())) others.push_back(key);
  }
  // Few keys: look for a later entry of the same key directly; many: a set.
  constexpr size_t FEW = 16;
  std::unordered_set<std::string_view, FxHasher> seen;
  for (size_t j = others.size(); j-- > 0;) {
    const V k = others[j];
    bool repeated = false;
    if (others.size() <= FEW) {
      for (size_t m = j + 1; m < others.size() && !repeated; ++m) {
        repeated = others[m].str() == k.str();
      }
    } else {
      repeated = !seen.insert(k.str()).second;
    }
    if (repeated) continue;
    if (!match_clauses(node.clauses, k, k.next(), ctx)) return false;
  }
  return true;
}

// A record against an object. Keys naming the fields in order, the common
// case, have each value walked as its key is read, with no slots; the first
// key out of order, or a failed value (a later entry of its key may still
// replace it), hands what is known to the rest of the walk, so no value is
// walked twice.
template <class V>
bool walk_object_record(const SchemaNode& node, V value, const WalkContext& ctx) {
  if (value.kind() != K::Object) return false;
  const size_t nfields = node.fields.size();
  if (nfields == 0) return walk_object_record_rest(node, value, ctx, nullptr, 0, false);
  const JsonRecord* record = ctx.plan ? find_json_record(ctx.plan->json, node) : nullptr;
  // A value walked early may be one a later entry replaces: only where that
  // can run no code of the user's.
  if (!record || !record->distinct || !ctx.plan->json.runs_only_own_code) {
    return walk_object_record_rest(node, value, ctx, record, 0, false);
  }
  const size_t count = value.size();
  V key = value.first();
  size_t checked = 0;
  for (; checked < count; ++checked, key = key.next().next()) {
    // The key texts lie away from the tape: ask for the next one early.
    if constexpr (requires { key.prefetch_text(); }) {
      if (checked + 1 < count) key.next().next().prefetch_text();
    }
    if (checked == nfields) return walk_object_record_rest(node, value, ctx, record, checked, false);
    bool named;
    if constexpr (requires { key.text_is(record->field_keys[checked]); }) {
      const JsonKeyPattern& pattern = record->field_keys[checked];
      named = pattern.width ? key.text_is(pattern) : node.fields[checked].name == key.str();
    } else {
      named = node.fields[checked].name == key.str();
    }
    if (!named) return walk_object_record_rest(node, value, ctx, record, checked, false);
    // A value its kind alone decides is tested here, with no call.
    const uint8_t kinds = record->field_kinds[checked];
    const V field = key.next();
    if (kinds & JSON_WALK ? !walk(node.fields[checked].node, field, ctx)
                          : (kinds & kind_bit(field.kind())) == 0) {
      if (ctx.stopped()) return false;
      return walk_object_record_rest(node, value, ctx, record, checked, true);
    }
  }
  for (size_t p = checked; p < nfields; ++p) {
    if (node.fields[p].required) return false;
  }
  return true;
}

template <class V>
bool walk_converted(const SchemaNode& node, V value, const WalkContext& ctx, bool fold_failure) {
  py::Ref converted = value.to_python();
  if (!converted) {
    if (fold_failure) return ctx.fold_pending();
    PyErr_Clear();
    return false;
  }
  return walk_python(node, converted.get(), ctx);
}

template <class V>
bool walk_constrained(const SchemaNode& node, V value, const WalkContext& ctx) {
  if (!node.child || !walk(*node.child, value, ctx)) return false;
  py::Ref converted = value.to_python();
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

template <class V>
bool walk_definition(const SchemaNode& node, V value, const WalkContext& ctx) {
  const uint64_t identity = value.identity();
  RecursionGuard& guard = ctx.state->recursion_guard;
  DefinitionMemo& memo = ctx.state->definition_memo;
  // Only arrays and objects can be reached again down several union members
  // at a cost worth keeping an answer for (see check/definition_memo.h).
  ++memo.entered;
  const bool remembered =
      memo.active && (value.kind() == K::Array || value.kind() == K::Object);
  const size_t guard_depth = guard.size();
  if (remembered) {
    if (const DefinitionMemo::Answer* answer =
            memo.find(identity, node.index, WalkMode::CheckOnly, guard_depth)) {
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
  const size_t outer = memo.begin_walk(guard.size());
  if (node.index < ctx.definitions->size()) {
    member = walk((*ctx.definitions)[node.index], value, ctx);
  }
  const size_t reach = memo.end_walk(outer, guard_depth);
  guard.leave(identity, node.index);
  if (remembered && !ctx.stopped() && memo.loops == loops) {
    memo.remember(identity, node.index, WalkMode::CheckOnly,
                  {member, guard_depth, reach, memo.limits != limits, 0, {}}, py::Ref());
  }
  return member;
}

template <class V>
bool walk(const SchemaNode& node, V value, const WalkContext& ctx) {
  if (ctx.stopped()) return false;
  switch (node.kind) {
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
        if (!walk(member, value, ctx)) return false;
        memo.note_repeat(entered);
      }
      return true;
    }
    case NodeKind::Complement:
      return node.child && !walk(*node.child, value, ctx);
    case NodeKind::Instance:
      if (!ctx.constant(node.index)) return false;
      return walk_converted(node, value, ctx, true);
    case NodeKind::Object:
      return walk_converted(node, value, ctx, false);
    case NodeKind::Constrained:
      return walk_constrained(node, value, ctx);
    case NodeKind::DefinitionRef:
      return walk_definition(node, value, ctx);
    default: {
      std::optional<uint8_t> mask = json_kind_mask(node.kind);
      return mask && (*mask & kind_bit(value.kind())) != 0;
    }
  }
}

// A new Python object equal to the value: lists, and dicts whose repeated key
// keeps its first position and its last value.
template <class V>
py::Ref to_python(V value) {
  switch (value.kind()) {
    case K::Null:
      return py::none();
    case K::Bool:
      return py::boolean(value.boolean());
    case K::Int:
      return py::Ref::steal(PyLong_FromLongLong(value.integer()));
    case K::BigInt:
      return value.big_to_python();
    case K::Float:
      return py::Ref::steal(PyFloat_FromDouble(value.number()));
    case K::Str: {
      std::string_view text = value.str();
      return py::Ref::steal(
          PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "strict"));
    }
    case K::Array: {
      py::require_stack_room("reading JSON");
      py::Ref list = py::Ref::steal(PyList_New(0));
      if (!list) return {};
      V item = value.first();
      for (size_t i = 0; i < value.size(); ++i, item = item.next()) {
        py::Ref converted = to_python(item);
        if (!converted || PyList_Append(list.get(), converted.get()) < 0) return {};
      }
      return list;
    }
    case K::Object: {
      py::require_stack_room("reading JSON");
      py::Ref dict = py::Ref::steal(PyDict_New());
      if (!dict) return {};
      V key = value.first();
      for (size_t i = 0; i < value.size(); ++i, key = key.next().next()) {
        py::Ref converted = to_python(key.next());
        if (!converted) return {};
        py::Ref text = to_python(key);
        if (!text || PyDict_SetItem(dict.get(), text.get(), converted.get()) < 0) return {};
      }
      return dict;
    }
  }
  py::fault("unknown JSON value kind");
}

}  // namespace tarmelix::json::walk_impl
