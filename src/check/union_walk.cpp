#include "check/union_walk.h"

#include <algorithm>

#include "check/quick_test.h"
#include "check/record_walk.h"
#include "check/walk.h"
#include "check/walk_plan.h"
#include "errors/errors.h"
#include "py/text.h"

namespace tarmelix::check {

namespace {

// How far below the union's own level a candidate's deepest record lies.
size_t candidate_depth(const ErrorList& records, size_t base) {
  size_t deepest = 0;
  for (const ErrorRecord& r : records) deepest = std::max(deepest, r.path.size());
  return deepest > base ? deepest - base : 0;
}

// The tagged union's answer from the one member the tag names; empty when
// the tag cannot be read without the general path (a key or tag value of an
// unusual type, two keys of the tag's text).
std::optional<bool> tagged_answer(const SchemaNode& node, const PlanTagged& tagged, PyObject* value,
                                  const WalkContext& ctx) {
  // Every member is a record, which refuses anything but a dict.
  if (!PyDict_Check(value)) return false;
  PyObject* tag = nullptr;
  Py_ssize_t pos = 0;
  PyObject* key;
  PyObject* item;
  // Reads only the dict's storage and its keys' texts.
  while (PyDict_Next(value, &pos, &key, &item)) {
    bool named = key == tagged.interned.get();
    if (!named && PyUnicode_Check(key)) {
      // Without its text the key may be the tag: the members' walks ask again.
      std::optional<std::string_view> text = py::utf8_view(key);
      if (!text) return std::nullopt;
      named = *text == tagged.name;
    }
    if (!named) continue;
    if (tag) return std::nullopt;
    tag = item;
  }
  // Every member requires the tag.
  if (!tag) return false;
  const uint64_t* member = nullptr;
  if (PyUnicode_CheckExact(tag)) {
    std::optional<std::string_view> text = py::utf8_view(tag);
    if (!text) return std::nullopt;
    member = tagged.str_tags.find(*text);
  } else if (PyLong_CheckExact(tag)) {
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(tag, &overflow);
    if (overflow != 0) return std::nullopt;
    member = tagged.int_tags.find(static_cast<uint64_t>(v));
  } else {
    return std::nullopt;
  }
  // No member's literals admit the tag.
  if (!member) return false;
  const SchemaNode& chosen = node.members[*member];
  return record_member(chosen, value, ctx, ctx.plan->record(chosen));
}

// The answer the plan's facts give without walking the members, or empty.
std::optional<bool> planned_answer(const SchemaNode& node, PyObject* value, const WalkContext& ctx) {
  const WalkPlan* plan = ctx.plan;
  const PlanEntry* e = plan ? plan->entry(node) : nullptr;
  if (!e) return std::nullopt;
  if (e->by_type) {
    const uint8_t bit = py_type_bit(value);
    if (bit) return (e->py_types & bit) != 0;
    return std::nullopt;
  }
  if (e->literals != NO_FACT) {
    const PlanLiterals& literals = plan->literals[e->literals];
    return literals_answer(literals, value);
  }
  if (e->tagged != NO_FACT) return tagged_answer(node, plan->tagged[e->tagged], value, ctx);
  return std::nullopt;
}

}  // namespace

std::optional<bool> literal_sets_lookup(const LiteralSets& sets, PyObject* value) {
  if (PyLong_CheckExact(value)) {
    int overflow = 0;
    long long v = PyLong_AsLongLongAndOverflow(value, &overflow);
    if (overflow != 0) return std::nullopt;
    return sets.int_values.contains(static_cast<uint64_t>(v));
  }
  if (PyUnicode_CheckExact(value)) {
    std::optional<std::string_view> utf8 = py::utf8_view(value);
    if (!utf8) return std::nullopt;
    return sets.str_values.contains(*utf8, str_hash(value));
  }
  return std::nullopt;
}

std::optional<bool> literal_sets_answer(const SchemaNode& node, PyObject* value,
                                        const WalkContext& ctx) {
  const LiteralSets* sets = find_literal_sets(ctx.plan, node);
  if (!sets) return std::nullopt;
  return literal_sets_lookup(*sets, value);
}

bool walk_union(const SchemaNode& node, PyObject* value, const WalkPath& path, const WalkContext& ctx,
                ErrorList& errors) {
  // Membership first, recording nothing. The plan's facts answer exactly as
  // the members would (a literal admits only its own exact type, a scalar
  // kind looks at the type alone), so every mode may use them.
  std::optional<bool> fast = planned_answer(node, value, ctx);
  if (fast && *fast) return true;
  if (!fast) {
    const WalkContext check = ctx.with_mode(WalkMode::CheckOnly);
    DefinitionMemo& memo = ctx.state->definition_memo;
    const uint64_t entered = memo.entered;
    for (const SchemaNode& member : node.members) {
      if (walk_value(member, value, path, check, errors)) return true;
      memo.note_repeat(entered);
    }
  }
  if (!ctx.recording() || ctx.stopped()) return false;

  // Attribution: the first candidate reaching deepest explains the failure.
  // The candidates' got texts wait until their records are kept, where no
  // code of the user's can change the value in between.
  WalkContext collect = ctx.with_mode(WalkMode::CollectAll);
  if (ctx.plan && ctx.plan->got_texts_may_wait) collect.got_when = GotWhen::Kept;
  const size_t candidates = std::min(node.members.size(), UNION_ERROR_CANDIDATES);
  ErrorList best;
  size_t best_depth = 0;
  for (size_t i = 0; i < candidates; ++i) {
    ErrorList mine;
    walk_value(node.members[i], value, path, collect, mine);
    size_t depth = candidate_depth(mine, path.depth());
    if (i == 0 || depth > best_depth) {
      best = std::move(mine);
      best_depth = depth;
    }
  }
  // After a fatal exception the records are dropped; no text is worth making.
  if (ctx.stopped()) return false;
  if (best_depth > 0) {
    const size_t first = errors.size();
    errors.append(best);
    // Inside an outer attribution these may still be dropped.
    if (ctx.got_when == GotWhen::Now) make_pending_got_texts(errors, first);
    return false;
  }
  errors.push_back(make_error_record("union_error", "one of: " + member_display_names(node.members),
                                     value, path, ctx.got_when));
  return false;
}

}  // namespace tarmelix::check
