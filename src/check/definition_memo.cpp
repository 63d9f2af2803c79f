#include "check/definition_memo.h"

#include "schema/fxhash.h"

namespace tarmelix::check {

size_t DefinitionMemo::KeyHash::operator()(const Key& k) const noexcept {
  return schema::fx_finish(schema::fx_add(schema::fx_add(schema::fx_add(0, k.identity), k.definition), k.recording ? 1 : 0));
}

const DefinitionMemo::Answer* DefinitionMemo::find(uint64_t identity, uint64_t definition,
                                                   bool recording, size_t guard_depth) const {
  if (answers_.empty()) return nullptr;
  auto it = answers_.find(Key{identity, definition, recording});
  if (it == answers_.end()) return nullptr;
  const Answer& answer = it->second;
  if (answer.depth_bound ? answer.guard_depth != guard_depth : answer.guard_depth < guard_depth) {
    return nullptr;
  }
  return &answer;
}

void DefinitionMemo::remember(uint64_t identity, uint64_t definition, bool recording,
                              Answer answer, py::Ref holder) {
  auto [it, inserted] = answers_.insert_or_assign(Key{identity, definition, recording},
                                                  std::move(answer));
  (void)it;
  if (inserted && holder) holders_.push_back(std::move(holder));
}

std::vector<ErrorRecord> relative_records(const ErrorList& errors, size_t first, size_t depth) {
  std::vector<ErrorRecord> out;
  out.reserve(errors.size() - first);
  for (size_t i = first; i < errors.size(); ++i) {
    const ErrorRecord& r = errors[i];
    const size_t cut = r.path.size() < depth ? r.path.size() : depth;
    out.push_back(ErrorRecord{Path(r.path.begin() + static_cast<std::ptrdiff_t>(cut), r.path.end()),
                              r.expected, r.got, r.code, r.got_pending});
  }
  return out;
}

}  // namespace tarmelix::check
