// Answers of walks of one value against one recursive definition, kept for
// the rest of one walk. A value that several union members all descend into
// (records sharing a recursive field, say) is then walked once per definition
// instead of once per path leading to it: without this, every such level
// doubles the work and a few dozen levels of a small document never finish.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "errors/record.h"
#include "py/ref.h"

namespace tarmelix::check {

class DefinitionMemo {
 public:
  struct Answer {
    bool member;
    size_t guard_depth;           // recursion-guard pairs held when it was walked
    bool depth_bound;             // its walk met the guard's limit
    std::vector<ErrorRecord> records;  // paths relative to where it was walked
  };

  // The answer for the pair in the given kind of walk (recording or not),
  // when one was kept at a guard depth no smaller than the current one: from
  // no deeper a descent the walk would meet no refusal it did not meet then.
  // An answer whose walk met the guard's limit holds only at its own depth.
  const Answer* find(uint64_t identity, uint64_t definition, bool recording,
                     size_t guard_depth) const;

  // Keeps an answer. `holder` keeps a Python value (and so its address)
  // alive while its answer is kept; a JSON value lives as long as the walk.
  void remember(uint64_t identity, uint64_t definition, bool recording, Answer answer,
                py::Ref holder);

  // Answers are kept only once a walk that may have descended into a
  // definition is followed by another walk of the same value (a later union
  // member, intersection member or clause): ordinary documents, walked once,
  // pay nothing for the table.
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
    bool recording;
    bool operator==(const Key&) const = default;
  };
  struct KeyHash {
    size_t operator()(const Key& k) const noexcept;
  };
  std::unordered_map<Key, Answer, KeyHash> answers_;
  std::vector<py::Ref> holders_;
};

// Records of a walk made at `depth` segments, with that prefix cut off.
std::vector<ErrorRecord> relative_records(const ErrorList& errors, size_t first, size_t depth);

}  // namespace tarmelix::check
