// Answers of walks of one value against one recursive definition, kept for
// the rest of one walk. A value that several members of a union or an
// intersection all descend into (records sharing a recursive field, say, or
// a field declared twice) is then walked once per definition and mode
// instead of once per path leading to it: without this, every such level
// doubles the work and a few dozen levels of a small document never finish.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

#include "check/recursion_guard.h"
#include "errors/error_list.h"
#include "errors/walk_mode.h"
#include "py/ref.h"

namespace tarmelix::check {

class DefinitionMemo {
 public:
  struct Answer {
    bool member;
    size_t guard_depth;  // recursion-guard pairs held when it was walked
    size_t reach;        // the most pairs its walk held beyond those (its own included)
    bool depth_bound;    // its walk met the guard's limit
    size_t path_depth;   // segments of the path it was walked at
    // Shared with the lists the walk put them in: full paths, as walked.
    std::vector<SharedRecord> records;
  };

  // The answer for the pair in the given mode, when one was kept from whose
  // walk, begun at the current guard depth, the guard would refuse nothing
  // it did not refuse then: one that stayed clear of the guard's limit by
  // more than the depth it is used deeper at. An answer whose walk met the
  // limit holds only at its own depth. The walk in progress counts as
  // reaching as deep as the found answer's walk did.
  const Answer* find(uint64_t identity, uint64_t definition, WalkMode mode,
                     size_t guard_depth);

  // Around the walk of one definition, begun once its pair is held (`held`
  // pairs): begin_walk returns what end_walk needs, and end_walk the
  // walk's reach beyond `guard_depth`.
  size_t begin_walk(size_t held) { return std::exchange(deepest_, held); }
  size_t end_walk(size_t outer, size_t guard_depth) {
    const size_t reach = deepest_ - guard_depth;
    if (outer > deepest_) deepest_ = outer;
    return reach;
  }

  // Keeps an answer. `holder` keeps a Python value (and so its address)
  // alive while its answer is kept; a JSON value lives as long as the walk.
  void remember(uint64_t identity, uint64_t definition, WalkMode mode, Answer answer,
                py::Ref holder);

  // Answers are kept only once a walk that may have descended into a
  // definition is followed by another walk of the same value (a later union
  // member, intersection member, clause or field of the same name):
  // ordinary documents, walked once, pay nothing for the table.
  void note_repeat(uint64_t entered_before) {
    if (entered != entered_before) active = true;
  }
  uint64_t entered = 0;  // definition walks begun
  bool active = false;

  // Refusals of the recursion guard so far. A loop depends on the pairs
  // above, so an answer whose walk met one is not kept; the limit depends
  // only on the depth.
  uint64_t loops = 0;
  uint64_t limits = 0;

 private:
  struct Key {
    uint64_t identity;
    uint64_t definition;
    WalkMode mode;
    bool operator==(const Key&) const = default;
  };
  struct KeyHash {
    size_t operator()(const Key& k) const noexcept;
  };
  std::unordered_map<Key, Answer, KeyHash> answers_;
  std::vector<py::Ref> holders_;
  size_t deepest_ = 0;  // the most pairs held since the walk in progress began
};

// The records of a list, shared.
std::vector<SharedRecord> shared_records(const ErrorList& errors);

// One walk of a value against a recursive definition, as the Python and the
// JSON walks both take it: the kept answer where one holds, else the value's
// pair held in the recursion guard around the walk, and its answer kept
// where it may be used again (`worth`: the value can be reached again down
// several routes at a cost worth keeping an answer for; `stopped`: the
// walk's stop flag).
//   use(const Answer&)  the kept answer's membership, its records taken
//   refuse(GuardEntry)  false, the guard's refusal (Loop or Limit) recorded
//   walk(bool kept)     the walk of the definition; `kept`: its answer may be
//                       kept, with the records it makes
//   keep(Answer)        keeps the walk's answer (path depth and records
//                       still to fill)
// An answer whose walk met a loop is not kept (a loop depends on the pairs
// above), nor a StopAtFirst refusal: what it records depends on what the
// list held before, and a refusal ends the walk.
template <class Use, class Refuse, class Walk, class Keep>
bool walk_definition_once(DefinitionMemo& memo, RecursionGuard& guard, const bool& stopped,
                          uint64_t identity, uint64_t definition, WalkMode mode, bool worth,
                          Use&& use, Refuse&& refuse, Walk&& walk, Keep&& keep) {
  ++memo.entered;
  const bool kept = memo.active && worth;
  const size_t guard_depth = guard.size();
  if (kept) {
    if (const DefinitionMemo::Answer* answer = memo.find(identity, definition, mode, guard_depth)) {
      return use(*answer);
    }
  }
  switch (guard.enter(identity, definition)) {
    case GuardEntry::Loop:
      ++memo.loops;
      return refuse(GuardEntry::Loop);
    case GuardEntry::Limit:
      ++memo.limits;
      return refuse(GuardEntry::Limit);
    case GuardEntry::Entered:
      break;
  }
  const uint64_t loops = memo.loops;
  const uint64_t limits = memo.limits;
  const size_t outer = memo.begin_walk(guard.size());
  const bool member = walk(kept);
  const size_t reach = memo.end_walk(outer, guard_depth);
  guard.leave(identity, definition);
  if (kept && !stopped && memo.loops == loops && (member || mode != WalkMode::StopAtFirst)) {
    keep(DefinitionMemo::Answer{member, guard_depth, reach, memo.limits != limits, 0, {}});
  }
  return member;
}

}  // namespace tarmelix::check
