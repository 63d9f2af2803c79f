#include "check/union_walk.h"

#include <algorithm>

#include "check/fast_sequence.h"
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
  // Membership first, recording nothing. The literal sets answer exactly as
  // the members would (a literal admits only its own exact type), so every
  // mode may use them.
  const FastLiterals* literals = find_fast_literals(ctx.plan, node);
  std::optional<bool> fast =
      literals ? fast_literals_answer(*literals, value) : literal_sets_answer(node, value, ctx);
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
  // The candidates' got texts wait until their records are kept.
  WalkContext collect = ctx.with_mode(WalkMode::CollectAll);
  collect.got_when = GotWhen::Kept;
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
