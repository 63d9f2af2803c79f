#include "check/definition_memo.h"

#include "check/recursion_guard.h"
#include "schema/fxhash.h"

namespace tarmelix::check {

size_t DefinitionMemo::KeyHash::operator()(const Key& k) const noexcept {
  return schema::fx_finish(schema::fx_add(schema::fx_add(schema::fx_add(0, k.identity), k.definition), static_cast<uint64_t>(k.mode)));
}

const DefinitionMemo::Answer* DefinitionMemo::find(uint64_t identity, uint64_t definition,
                                                   WalkMode mode, size_t guard_depth) {
  if (answers_.empty()) return nullptr;
  auto it = answers_.find(Key{identity, definition, mode});
  if (it == answers_.end()) return nullptr;
  const Answer& answer = it->second;
  if (answer.depth_bound ? answer.guard_depth != guard_depth
                         : guard_depth + answer.reach > RECURSION_GUARD_LIMIT) {
    return nullptr;
  }
  if (guard_depth + answer.reach > deepest_) deepest_ = guard_depth + answer.reach;
  return &answer;
}

void DefinitionMemo::remember(uint64_t identity, uint64_t definition, WalkMode mode,
                              Answer answer, py::Ref holder) {
  auto [it, inserted] = answers_.insert_or_assign(Key{identity, definition, mode},
                                                  std::move(answer));
  (void)it;
  if (inserted && holder) holders_.push_back(std::move(holder));
}

std::vector<SharedRecord> shared_records(const ErrorList& errors) {
  std::vector<SharedRecord> out;
  out.reserve(errors.size());
  for (size_t i = 0; i < errors.size(); ++i) out.push_back(errors.shared(i));
  return out;
}

}  // namespace tarmelix::check
