// The membership walk of a parsed JSON document, over any tree that offers
// the view below: the event parser's tree (json_value.h) and the SIMD
// parser's tape (json/simd_tape.h) both walk through this one copy, so the
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
//
// A view may offer more, which the walk then uses (the SIMD tape's does; the
// event parser's tree offers none of it):
//   text_is(pattern), text_in(set), text_index(set)
//                               a string's text against a key pattern or a
//                               text set (json_plan.h), compared in place
//   is_string(), after_string() a value known to be a string, stepped over
//   skip_scalar_run(mask, n), skip_int_run(admits, n)
//                               step over a run of up to n items, telling how many
//
// Each value is first asked of its node's facts (decide_in_place: kinds,
// literal sets, native bounds, items so decided); only what they cannot tell
// takes the node's walk.
#pragma once

#include <re2/re2.h>

#include <algorithm>
#include <bit>
#include <memory>
#include <unordered_set>
#include <vector>

#include "check/constraints.h"
#include "check/native_bound.h"
#include "check/slow_paths.h"
#include "check/walk.h"
#include "check/walk_plan.h"
#include "json/json_plan.h"
#include "json/json_value.h"
#include "json/string_cache.h"
#include "py/error.h"
#include "py/stack.h"
#include "py/text.h"
#include "schema/sequence_shape.h"

namespace tarmelix::json::walk_impl {

// The walk's own machinery, which the JSON walks share.
using check::DefinitionMemo;
using check::GuardEntry;
using check::RecursionGuard;
using check::make_record_index;
using check::NativeBound;
using check::NO_FACT;
using check::PlanRecord;
using check::slow_paths_only;
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
template <class V>
bool walk_steps(const SchemaNode& node, V value, const WalkContext& ctx);

inline const JsonNode* entry_of(const SchemaNode& node, const WalkContext& ctx) {
  return json_node(ctx.plan, node);
}

// Whether this walk runs only our own code, so a value may be walked again
// or early without anyone seeing it.
inline bool own_code_only(const WalkContext& ctx) { return runs_only_own_code(ctx.plan); }

// The kinds a node accepts when the kind alone decides it: a scalar node, or
// a union the plan found to be one; empty otherwise.
inline std::optional<uint8_t> kind_only_mask(const SchemaNode& node, const WalkContext& ctx) {
  if (const JsonNode* e = entry_of(node, ctx); e && e->how == InPlace::Kinds) return e->kinds;
  if (node.kind == NodeKind::Union) return std::nullopt;
  return json_kind_mask(node.kind);
}

// An all-literal union's answer for a string or an integer of the int64
// range, from its sets; empty for other kinds (a bool, a float), which
// the members decide.
template <class V>
std::optional<bool> literal_sets_answer(const JsonLiterals& literals, V value) {
  // Only exact str and int literals can equal these, and the sets hold every
  // one of them that can.
  if (value.kind() == K::Str) {
    return literals.texts.contains(value.str());
  }
  if (value.kind() == K::Int) {
    return literals.sets->has_int(value.integer());
  }
  return std::nullopt;
}

// The same answer, a string compared with the set's few texts in place
// where the view can and they are few.
template <class V>
[[gnu::always_inline]] inline std::optional<bool> literal_answer(const JsonLiterals& literals,
                                                                 V value) {
  if constexpr (requires { value.text_in(literals.few); }) {
    if (literals.few.count && value.kind() == K::Str) return value.text_in(literals.few);
  }
  return literal_sets_answer(literals, value);
}

// A constrained value's answer from its node's ranges; empty for a kind
// they do not decide.
template <class V>
[[gnu::always_inline]] inline std::optional<bool> ranges_answer(const JsonRanges& r, V value) {
  switch (value.kind()) {
    case K::Int: {
      if (!r.ints) return std::nullopt;
      const int64_t v = value.integer();
      return v >= r.int_lo && v <= r.int_hi;
    }
    case K::Float: {
      if (!r.floats) return std::nullopt;
      const double x = value.number();
      return (x >= r.float_least) & (x <= r.float_most);
    }
    case K::Str: {
      if (!r.texts) return std::nullopt;
      const uint64_t n = value.str().size();
      // A text of n bytes holds between n / 4 (rounded up) and n code points.
      if (n < r.length_lo) return false;
      if (n <= r.length_hi && (n + 3) / 4 >= r.length_lo) return true;
      const uint64_t points = check::utf8_code_points(value.str());
      return points >= r.length_lo && points <= r.length_hi;
    }
    default:
      return std::nullopt;
  }
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
        // Not raised for an exact int; should it be, the general road answers.
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
  if (ctx.detached()) return ctx.leave_to_interpreter();
  if (!slow_paths_only()) {
    if (std::optional<bool> quick = literal_in_place(constant, value)) return *quick;
    if (PyErr_Occurred()) return ctx.fold_pending();
  }
  py::Ref converted = value.to_python();
  if (!converted) return ctx.fold_pending();
  return walk_python(node, converted.get(), ctx);
}

// The value of an object's last entry named `name`, or the empty view;
// `pattern`, the name's key pattern, for a view that compares by one.
template <class V>
V last_entry(V object, std::string_view name, const JsonKeyPattern* pattern) {
  V found{};
  V key = object.first();
  for (size_t i = 0, n = object.size(); i < n; ++i, key = key.next().next()) {
    bool named;
    if constexpr (requires { key.text_is(*pattern); }) {
      named = pattern && pattern->width ? key.text_is(*pattern) : key.str() == name;
    } else {
      named = key.str() == name;
    }
    if (named) found = key.next();
  }
  return found;
}

template <class V>
bool walk_object_record(const SchemaNode& node, V value, const WalkContext& ctx);

// The value of an object entry whose key was read as a string: the next
// word on the SIMD tape, with no step to look up.
template <class V>
V value_after_key(V key) {
  if constexpr (requires { key.after_string(); }) {
    return key.after_string();
  } else {
    return key.next();
  }
}

// How a record's walk in key order ended: every key named the next field
// and every value passed (Member, or NotMember for a required field never
// named), the walk stopped (NotMember), or Diverged at key `checked`, which
// named another field or none (`failed` false) or the next field with a
// value that failed (`failed` true; a later entry of it may replace it).
enum class InOrder : uint8_t { Member, NotMember, Diverged };

template <class V>
InOrder walk_in_order(const SchemaNode& node, V value, const WalkContext& ctx,
                      const JsonRecordFacts& facts, bool tag_known, size_t& checked, bool& failed);

template <class V>
bool walk_object_record_rest(const SchemaNode& node, V value, const WalkContext& ctx,
                             const JsonRecordFacts* facts, size_t checked, bool failed);

template <class V>
std::optional<bool> bounded_in_place(const SchemaNode& node, const JsonNode& facts, V value,
                                     const WalkContext& ctx);

// The walk of a node whose facts were asked already (decide_in_place).
template <class V>
bool walk_undecided(const SchemaNode& node, V value, const WalkContext& ctx);

// Items from `element` (the i-th of n) to the array's end, each decided in
// place by `facts` (Kinds or Literals): runs of scalars of the admitted kinds
// stepped over, strings compared with a few texts in place, runs of ints
// tested against the set; an item the facts do not decide is walked.
template <class V>
[[gnu::noinline]] bool walk_items(V element, size_t i, size_t n, const SchemaNode& item,
                                  const JsonNode& facts, const WalkContext& ctx) {
  if (facts.how == InPlace::Kinds) {
    const uint8_t mask = facts.kinds;
    if constexpr (requires { element.skip_scalar_run(mask, n); }) {
      i += element.skip_scalar_run(mask, n - i);
    }
    for (; i < n; ++i, element = element.next()) {
      if ((mask & kind_bit(element.kind())) == 0) return false;
    }
    return true;
  }
  const JsonLiterals& sets = *facts.literal_set;
  if (sets.few.count) {
    for (; i < n; ++i, element = element.next()) {
      // Strings, the common item, compared in place and stepped over with
      // no look at their kind.
      if constexpr (requires { element.is_string(); }) {
        for (; i < n && element.is_string(); ++i, element = element.after_string()) {
          if (!element.text_in(sets.few)) return false;
        }
        if (i == n) break;
      }
      const std::optional<bool> found = literal_answer(sets, element);
      if (found ? !*found : !walk_undecided(item, element, ctx)) return false;
    }
    return true;
  }
  // Without texts to compare in place (a set of ints): runs of ints four at
  // a time.
  if constexpr (requires { element.skip_int_run([](int64_t) { return true; }, n); }) {
    i += element.skip_int_run([&](int64_t v) { return sets.sets->has_int(v); }, n - i);
  }
  for (; i < n; ++i, element = element.next()) {
    const std::optional<bool> found = literal_sets_answer(sets, element);
    if (found ? !*found : !walk_undecided(item, element, ctx)) return false;
  }
  return true;
}

// The one decider: a value's answer from its node's facts, in place (see
// InPlace); empty where the node's walk must tell. Inline but for the loops
// and the constraints' one-by-one tests, so the callers' loops stay small.
template <class V>
[[gnu::always_inline]] inline std::optional<bool> decide_in_place(const SchemaNode& node,
                                                                  const JsonNode& facts, V value,
                                                                  const WalkContext& ctx) {
  switch (facts.how) {
    case InPlace::Kinds:
      return (facts.kinds & kind_bit(value.kind())) != 0;
    case InPlace::Literals:
      return literal_answer(*facts.literal_set, value);
    case InPlace::Bounded:
      if ((facts.kinds & kind_bit(value.kind())) == 0) return false;
      if (std::optional<bool> held = ranges_answer(*facts.ranges, value)) return held;
      return bounded_in_place(node, facts, value, ctx);
    case InPlace::Items:
      if (value.kind() != K::Array) return (facts.kinds & kind_bit(value.kind())) != 0;
      return walk_items(value.first(), 0, value.size(), *facts.item, *facts.item_facts, ctx);
    case InPlace::No:
      break;
  }
  return std::nullopt;
}

template <class V>
std::optional<bool> tag_first_answer(const SchemaNode& node, const check::PlanTagged& tagged,
                                     const JsonTaggedFacts& facts, V value,
                                     const WalkContext& ctx);

// A tagged union: the one member the tag names decides; empty when the tag's
// kind is one no tag has.
template <class V>
std::optional<bool> tagged_answer(const SchemaNode& node, const check::PlanTagged& tagged, V value,
                                  const WalkContext& ctx) {
  // Every member is a record, which refuses anything but an object.
  if (value.kind() != K::Object) return false;
  const JsonPlanPart* part = json_part(*ctx.plan);
  const JsonTaggedFacts* facts =
      part ? &part->tagged[static_cast<size_t>(&tagged - ctx.plan->tagged.data())] : nullptr;
  if (facts && facts->tag_first) {
    if (std::optional<bool> found = tag_first_answer(node, tagged, *facts, value, ctx)) {
      return *found;
    }
  }
  const V tag = last_entry(value, tagged.name, facts ? &facts->key : nullptr);
  // Every member requires the tag.
  if (!tag) return false;
  const uint64_t* member = nullptr;
  if (tag.kind() == K::Str) {
    member = tagged.str_tags.find(tag.str());
  } else if (tag.kind() == K::Int) {
    member = tagged.int_tags.find(static_cast<uint64_t>(tag.integer()));
  } else {
    return std::nullopt;
  }
  if (!member) return false;
  return walk_object_record(node.members[*member], value, ctx);
}

template <class V>
bool walk_union(const SchemaNode& node, V value, const WalkContext& ctx) {
  // Kinds and literal sets were asked on entry (decide_in_place).
  if (const JsonNode* e = entry_of(node, ctx)) {
    if (e->tagged != NO_FACT) {
      if (std::optional<bool> found = tagged_answer(node, ctx.plan->tagged[e->tagged], value, ctx)) {
        return *found;
      }
    }
    // The members before and after the one that can accept the value's kind
    // refuse it without running code.
    if (e->by_kind != NO_FACT) {
      const uint8_t member =
          json_part(*ctx.plan)->by_kind[e->by_kind].member[std::countr_zero(kind_bit(value.kind()))];
      if (member == UnionByKind::NO_MEMBER) return false;
      if (member != UnionByKind::MANY_MEMBERS) return walk(node.members[member], value, ctx);
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
  const JsonNode* tail_facts = entry_of(*shape->tail, ctx);
  // Items decided in place (list[float], list[int | str], list of literals).
  if (tail_facts && (tail_facts->how == InPlace::Kinds || tail_facts->how == InPlace::Literals)) {
    return walk_items(element, i, n, *shape->tail, *tail_facts, ctx);
  }
  // Items of a tagged union: its facts found once for the array, each item
  // an object whose first key is the tag decided as the union's walk would
  // decide it, any other item walked by the union.
  if (const SchemaNode& tail = *shape->tail; tail.kind == NodeKind::Union && ctx.plan &&
                                             own_code_only(ctx)) {
    const JsonNode* e = tail_facts;
    const JsonPlanPart* part = json_part(*ctx.plan);
    if (e && e->how == InPlace::No && e->tagged != NO_FACT && part &&
        part->tagged[e->tagged].tag_first) {
      const check::PlanTagged& tagged = ctx.plan->tagged[e->tagged];
      const JsonTaggedFacts& facts = part->tagged[e->tagged];
      for (; i < n; ++i, element = element.next()) {
        if (ctx.stopped() || !ctx.has_stack_room()) return false;
        if (element.kind() != K::Object) return false;
        const std::optional<bool> found = tag_first_answer(tail, tagged, facts, element, ctx);
        if (found ? !*found : !walk(tail, element, ctx)) return false;
      }
      return true;
    }
  }
  // Items of a record whose fields walk in key order: the record's facts
  // found once for the array, and each item walked as walk() would.
  if (const SchemaNode& tail = *shape->tail; tail.kind == NodeKind::Record && !tail.fields.empty() &&
                                             own_code_only(ctx)) {
    const JsonRecordFacts* facts = json_record_facts(*ctx.plan, tail);
    if (facts && facts->distinct) {
      for (; i < n; ++i, element = element.next()) {
        if (ctx.stopped() || !ctx.has_stack_room() || element.kind() != K::Object) return false;
        size_t checked = 0;
        bool failed = false;
        const InOrder walked = walk_in_order(tail, element, ctx, *facts, false, checked, failed);
        if (walked == InOrder::Member) continue;
        if (walked == InOrder::NotMember ||
            !walk_object_record_rest(tail, element, ctx, facts, checked, failed)) {
          return false;
        }
      }
      return true;
    }
  }
  // Any other items: each asked of its facts first (a list of lists, of
  // constrained values), then walked.
  if (tail_facts && tail_facts->how != InPlace::No) {
    for (; i < n; ++i, element = element.next()) {
      const std::optional<bool> held = decide_in_place(*shape->tail, *tail_facts, element, ctx);
      if (held ? !*held : !walk_undecided(*shape->tail, element, ctx)) return false;
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

// What is known of a field position's value.
enum class FieldState : uint8_t { Unwalked, Passed, Failed };

// A record against an object, past the first `checked` keys, which named the
// first fields in order and whose values passed; `failed` says the key
// after them named the next field and its value failed. Each key counts by
// its last entry, as in the dict the document loads to: declared keys
// against their fields, the others against the clauses.
template <class V>
[[gnu::noinline]] bool walk_object_record_rest(const SchemaNode& node, V value,
                                               const WalkContext& ctx,
                                               const JsonRecordFacts* facts, size_t checked,
                                               bool failed) {
  const size_t count = value.size();
  const size_t nfields = node.fields.size();
  if (nfields > 0 && !facts && ctx.plan) facts = json_record_facts(*ctx.plan, node);
  const PlanRecord* record = facts ? facts->record : nullptr;
  if (nfields > 0 && !record && ctx.plan) record = ctx.plan->record(node);
  RecordIndex local;
  if (nfields > 0 && !record) local = make_record_index(node.fields);
  const RecordIndex& index = record ? record->index : local;
  // A key's field position: the plan's map by a cheaper hash, or the
  // record index's.
  const bool bare = facts && !facts->by_text->empty();
  auto position = [&](std::string_view text) -> const uint64_t* {
    if (bare) return facts->by_text->find(text);
    return nfields > 0 ? index.field_positions.find(text) : nullptr;
  };
  const size_t required_count = index.required_count;

  // Per field position, the key of the last entry naming it and whether its
  // value is already known. Only the record's own fields are cleared: most
  // records are small.
  constexpr size_t SMALL = 32;
  alignas(V) unsigned char small[SMALL * sizeof(V)];
  FieldState small_states[SMALL];
  std::vector<V> large;
  std::vector<FieldState> large_states;
  V* last = reinterpret_cast<V*>(small);
  FieldState* states = small_states;
  if (nfields > SMALL) {
    large.assign(nfields, V{});
    large_states.assign(nfields, FieldState::Unwalked);
    last = large.data();
    states = large_states.data();
  } else {
    std::uninitialized_fill_n(last, nfields, V{});
    std::fill_n(states, nfields, FieldState::Unwalked);
  }

  V key = value.first();
  size_t i = 0;
  for (; i < checked + (failed ? 1 : 0); ++i, key = key.next().next()) {
    last[i] = key;
    states[i] = i < checked ? FieldState::Passed : FieldState::Failed;
  }

  // With every field name distinct, field j is its name's position, and keys
  // that come in field order are matched by one comparison each.
  const bool distinct = nfields > 0 && !slow_paths_only() && index.field_positions.size() == nfields;
  size_t expected = i;
  // With no fields every key is undeclared, and its text is read only if a
  // clause looks at it.
  size_t undeclared = nfields == 0 ? count : 0;
  for (; i < count && nfields > 0; ++i, key = key.next().next()) {
    std::string_view text = key.str();
    if (distinct && expected < nfields && node.fields[expected].name == text) {
      states[expected] = FieldState::Unwalked;
      last[expected++] = key;
      continue;
    }
    const uint64_t* pos = position(text);
    if (pos) {
      states[*pos] = FieldState::Unwalked;
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
    if (states[p] == FieldState::Failed) return false;
    if (states[p] == FieldState::Unwalked && !walk(node.fields[p].node, found.next(), ctx)) return false;
    if (node.fields[p].required) ++required_seen;
  }
  if (nfields > 0 && required_seen != required_count) return false;

  if (undeclared == 0) return true;
  if (node.clauses.empty()) return false;

  // Where no user code can run, every undeclared entry passing its clauses
  // answers for the last entries among them, with no search for repeats.
  if (own_code_only(ctx)) {
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


// Keys naming the fields in order, the common case, each value walked as its
// key is read, with no field states. `tag_known`: the first field's value is known
// to pass (a tagged union chose this member by it).
template <class V>
[[gnu::always_inline]] inline InOrder walk_in_order(const SchemaNode& node, V value,
                                                   const WalkContext& ctx,
                                                   const JsonRecordFacts& facts, bool tag_known,
                                                   size_t& checked, bool& failed) {
  const size_t nfields = node.fields.size();
  const JsonKeyPattern* patterns = facts.keys;
  const size_t count = value.size();
  V key = value.first();
  for (checked = 0; checked < count; ++checked) {
    if (checked == nfields) return InOrder::Diverged;
    // The union compared the tag's key already, and chose this member by
    // the tag's value.
    if (tag_known && checked == 0) {
      key = value_after_key(key).next();
      continue;
    }
    bool named;
    if constexpr (requires { key.text_is(*patterns); }) {
      named = patterns[checked].width ? key.text_is(patterns[checked])
                                      : node.fields[checked].name == key.str();
    } else {
      named = node.fields[checked].name == key.str();
    }
    if (!named) return InOrder::Diverged;
    // A value its facts decide is decided here, with no call.
    const V field = value_after_key(key);
    bool passed;
    if (const JsonFieldHow how = facts.field_how[checked]; how.how == InPlace::Kinds) {
      passed = (how.kinds & kind_bit(field.kind())) != 0;
    } else {
      const SchemaNode& field_node = node.fields[checked].node;
      const std::optional<bool> held =
          how.how != InPlace::No
              ? decide_in_place(field_node, *facts.field_facts[checked], field, ctx)
              : std::nullopt;
      passed = held ? *held : walk_undecided(field_node, field, ctx);
    }
    if (!passed) {
      if (ctx.stopped()) return InOrder::NotMember;
      failed = true;
      return InOrder::Diverged;
    }
    key = field.next();
  }
  for (size_t p = checked; p < nfields; ++p) {
    if (node.fields[p].required) return InOrder::NotMember;
  }
  return InOrder::Member;
}

// A record against an object. Keys naming the fields in order, the common
// case, have each value walked as its key is read, with no field states; the first
// key out of order, or a failed value (a later entry of its key may still
// replace it), hands what is known to the rest of the walk, so no value is
// walked twice.
template <class V>
bool walk_object_record(const SchemaNode& node, V value, const WalkContext& ctx) {
  if (value.kind() != K::Object) return false;
  const size_t nfields = node.fields.size();
  if (nfields == 0) {
    // One clause of kinds decided alone (dict[str, float]): one mask test a
    // key and a value. Every entry passing answers for the last entries;
    // a failing one may be replaced by a later entry of its key, which the
    // general road settles.
    if (node.clauses.size() == 1) {
      const std::optional<uint8_t> keys = kind_only_mask(node.clauses[0].key, ctx);
      const std::optional<uint8_t> values = kind_only_mask(node.clauses[0].value, ctx);
      if (keys && values && !slow_paths_only()) {
        const uint8_t key_kinds = *keys;
        const uint8_t value_kinds = *values;
        V key = value.first();
        size_t i = 0;
        const size_t count = value.size();
        for (; i < count; ++i, key = key.next().next()) {
          if (!(key_kinds & kind_bit(key.kind())) || !(value_kinds & kind_bit(key.next().kind()))) {
            break;
          }
        }
        if (i == count) return true;
      } else if (keys && !slow_paths_only() && own_code_only(ctx)) {
        // Keys decided alone and values walked (dict[str, list[int]]), as
        // the general road would find them, only where walking a value
        // again there can run no code of the user's.
        const uint8_t key_kinds = *keys;
        const SchemaNode& items = node.clauses[0].value;
        V key = value.first();
        size_t i = 0;
        const size_t count = value.size();
        for (; i < count; ++i, key = key.next().next()) {
          if (!(key_kinds & kind_bit(key.kind())) || !walk(items, key.next(), ctx)) break;
        }
        if (i == count) return true;
        if (ctx.stopped()) return false;
      }
    }
    return walk_object_record_rest(node, value, ctx, nullptr, 0, false);
  }
  const JsonRecordFacts* facts = ctx.plan ? json_record_facts(*ctx.plan, node) : nullptr;
  // A value walked early may be one a later entry replaces: only where that
  // can run no code of the user's.
  if (!facts || !facts->distinct || !own_code_only(ctx)) {
    return walk_object_record_rest(node, value, ctx, facts, 0, false);
  }
  size_t checked = 0;
  bool failed = false;
  switch (walk_in_order(node, value, ctx, *facts, false, checked, failed)) {
    case InOrder::Member:
      return true;
    case InOrder::NotMember:
      return false;
    case InOrder::Diverged:
      break;
  }
  return walk_object_record_rest(node, value, ctx, facts, checked, failed);
}

// The tagged union's answer where the object's first key is the tag and
// the member it names takes the tag as its first field: that member's walk
// in key order, the tag's value known to pass. Only an object whose every
// key named the member's next field holds no later entry of the tag that
// could name another member; any other object is left to the reference
// union walk (empty), which may walk its values again: only where that runs
// no code of the user's.
template <class V>
std::optional<bool> tag_first_answer(const SchemaNode& node, const check::PlanTagged& tagged,
                                     const JsonTaggedFacts& facts, V value,
                                     const WalkContext& ctx) {
  if (!own_code_only(ctx) || value.size() == 0) return std::nullopt;
  const V key = value.first();
  bool named;
  if constexpr (requires { key.text_is(facts.key); }) {
    named = facts.key.width ? key.text_is(facts.key) : key.str() == tagged.name;
  } else {
    named = key.str() == tagged.name;
  }
  if (!named) return std::nullopt;
  const V tag = key.next();
  uint64_t member = UINT64_MAX;
  if (tag.kind() == K::Str) {
    if constexpr (requires { tag.text_index(facts.str_tags); }) {
      if (facts.str_tags.count) {
        const int at = tag.text_index(facts.str_tags);
        if (at >= 0) member = facts.str_tag_members[at];
      } else if (const uint64_t* found = tagged.str_tags.find(tag.str())) {
        member = *found;
      }
    } else if (const uint64_t* found = tagged.str_tags.find(tag.str())) {
      member = *found;
    }
  } else if (tag.kind() == K::Int) {
    if (const uint64_t* found = tagged.int_tags.find(static_cast<uint64_t>(tag.integer()))) {
      member = *found;
    }
  }
  if (member >= 64 || !(facts.tag_first >> member & 1)) return std::nullopt;
  const SchemaNode& chosen = node.members[member];
  const JsonRecordFacts* record = facts.members[member];
  if (!record || !record->distinct) return std::nullopt;
  size_t checked = 0;
  bool failed = false;
  switch (walk_in_order(chosen, value, ctx, *record, true, checked, failed)) {
    case InOrder::Member:
      return true;
    case InOrder::NotMember:
      return false;
    case InOrder::Diverged:
      break;
  }
  return ctx.stopped() ? std::optional<bool>(false) : std::nullopt;
}

template <class V>
bool walk_converted(const SchemaNode& node, V value, const WalkContext& ctx, bool fold_failure) {
  if (ctx.detached()) return ctx.leave_to_interpreter();
  py::Ref converted = value.to_python();
  if (!converted) {
    if (fold_failure) return ctx.fold_pending();
    // Under an Object the failed conversion is a non-member, whatever it raised.
    PyErr_Clear();
    return false;
  }
  return walk_python(node, converted.get(), ctx);
}

// A constraint decided on the JSON value itself, as the interpreter would
// decide it on the converted value; empty where that value must be made.
template <class V>
[[gnu::always_inline]] inline std::optional<bool> constraint_in_place(const Constraint& c,
                                                                      const NativeBound& native,
                                                                      const re2::RE2* pattern,
                                                                      V value) {
  switch (c.kind) {
    case ConstraintKind::Ge:
    case ConstraintKind::Gt:
    case ConstraintKind::Le:
    case ConstraintKind::Lt: {
      if (native.type == NativeBound::Type::Other) return std::nullopt;
      std::optional<int> order;
      switch (value.kind()) {
        case K::Int:
          order = check::order_of_int(value.integer(), native);
          break;
        case K::Bool:
          order = check::order_of_int(value.boolean() ? 1 : 0, native);
          break;
        case K::Float:
          order = check::order_of_float(value.number(), native);
          break;
        case K::BigInt:
          return std::nullopt;
        default:
          // None, a str, a list or a dict against a number: no order.
          return false;
      }
      if (!order) return std::nullopt;
      return check::bound_holds(c.kind, *order);
    }
    case ConstraintKind::MinLen:
    case ConstraintKind::MaxLen: {
      uint64_t length;
      switch (value.kind()) {
        case K::Str:
          length = check::utf8_code_points(value.str());
          break;
        case K::Array:
          length = value.size();
          break;
        case K::Object:
          // Repeated keys collapse in the dict.
          return std::nullopt;
        default:
          return false;  // no length
      }
      return c.kind == ConstraintKind::MinLen ? length >= c.value : length <= c.value;
    }
    case ConstraintKind::Regex: {
      if (value.kind() != K::Str) return false;
      if (!pattern) return std::nullopt;
      const std::string_view text = value.str();
      return pattern->Match(re2::StringPiece(text.data(), text.size()), 0, text.size(),
                            re2::RE2::UNANCHORED, nullptr, 0);
    }
    default:
      return std::nullopt;
  }
}

// The constraints from the `first` on, the value converted at the first one
// that needs it, once.
template <class V>
[[gnu::noinline]] bool walk_constraints_rest(const SchemaNode& node, V value, const WalkContext& ctx,
                                             const check::PlanBounds* natives, size_t first) {
  py::Ref converted;
  WalkPath path;
  ErrorList errors;
  for (size_t i = first; i < node.constraints.size(); ++i) {
    const Constraint& constraint = node.constraints[i];
    if (natives) {
      if (std::optional<bool> held = constraint_in_place(constraint, natives->bounds[i],
                                                         natives->patterns[i], value)) {
        if (!*held) return false;
        continue;
      }
    }
    if (!converted) {
      if (ctx.detached()) return ctx.leave_to_interpreter();
      converted = value.to_python();
      if (!converted) {
        // A value the constraints cannot be asked about is a non-member, whatever
        // the conversion raised.
        PyErr_Clear();
        return false;
      }
    }
    if (!check_constraint(constraint, converted.get(), path, ctx, errors,
                          natives ? &natives->bounds[i] : nullptr)) {
      return false;
    }
  }
  return true;
}

// A constrained field of a base its kind decides, answered with no call;
// empty where a constraint needs the walk (which runs no code of the user's
// for the base, so it may take the field from the start).
template <class V>
[[gnu::noinline]] std::optional<bool> bounded_in_place(const SchemaNode& node,
                                                       const JsonNode& facts, V value,
                                                       const WalkContext& ctx) {
  const check::PlanBounds& natives = ctx.plan->bounds[facts.bounds];
  for (size_t i = 0; i < node.constraints.size(); ++i) {
    std::optional<bool> held =
        constraint_in_place(node.constraints[i], natives.bounds[i], natives.patterns[i], value);
    if (!held || !*held) return held;
  }
  return true;
}

template <class V>
bool walk_constrained(const SchemaNode& node, V value, const WalkContext& ctx) {
  if (!node.child || !walk(*node.child, value, ctx)) return false;
  const JsonNode* e = entry_of(node, ctx);
  if (!e || e->bounds == NO_FACT) return walk_constraints_rest(node, value, ctx, nullptr, 0);
  if (const JsonPlanPart* part = json_part(*ctx.plan); part && e->bounds < part->ranges.size()) {
    if (std::optional<bool> held = ranges_answer(part->ranges[e->bounds], value)) return *held;
  }
  const check::PlanBounds& natives = ctx.plan->bounds[e->bounds];
  const size_t count = node.constraints.size();
  for (size_t i = 0; i < count; ++i) {
    std::optional<bool> held =
        constraint_in_place(node.constraints[i], natives.bounds[i], natives.patterns[i], value);
    if (!held) return walk_constraints_rest(node, value, ctx, &natives, i);
    if (!*held) return false;
  }
  return true;
}

template <class V>
bool walk_definition(const SchemaNode& node, V value, const WalkContext& ctx) {
  const uint64_t identity = value.identity();
  DefinitionMemo& memo = ctx.state->definition_memo;
  // Only arrays and objects can be reached again down several union members
  // at a cost worth keeping an answer for (see check/definition_memo.h).
  return check::walk_definition_once(
      memo, ctx.state->recursion_guard, ctx.state->stop, identity, node.index,
      WalkMode::CheckOnly, value.kind() == K::Array || value.kind() == K::Object,
      [](const DefinitionMemo::Answer& answer) { return answer.member; },
      [](GuardEntry) { return false; },
      [&](bool) {
        return node.index < ctx.definitions->size() &&
               walk((*ctx.definitions)[node.index], value, ctx);
      },
      [&](DefinitionMemo::Answer answer) {
        memo.remember(identity, node.index, WalkMode::CheckOnly, std::move(answer), py::Ref());
      });
}

template <class V>
bool walk(const SchemaNode& node, V value, const WalkContext& ctx) {
  if (ctx.stopped()) return false;
  // Every step past the scalar kinds may descend or run user code.
  if (node.kind >= NodeKind::Literal && !ctx.has_stack_room()) return false;
  if (const JsonNode* facts = entry_of(node, ctx)) {
    if (std::optional<bool> held = decide_in_place(node, *facts, value, ctx)) return *held;
  }
  return walk_steps(node, value, ctx);
}

template <class V>
bool walk_undecided(const SchemaNode& node, V value, const WalkContext& ctx) {
  if (ctx.stopped()) return false;
  if (node.kind >= NodeKind::Literal && !ctx.has_stack_room()) return false;
  return walk_steps(node, value, ctx);
}

// The node's own step, by its kind.
template <class V>
bool walk_steps(const SchemaNode& node, V value, const WalkContext& ctx) {
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
    case K::Str:
      return json_str(value.str(), false);
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
