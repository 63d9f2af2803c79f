#include "json/json_plan.h"

#include <cstring>

#include "json/string_cache.h"

namespace tarmelix::json {

uint32_t FieldNameTable::slot_of(const char* p, size_t n, uint64_t hash) const {
  const size_t mask = slots_.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& s = slots_[i];
    if (!s.name) return NO_SLOT;
    if (s.hash == hash && s.length == n && check::same_bytes(bytes_.data() + s.offset, p, n)) {
      return static_cast<uint32_t>(i);
    }
  }
}

void FieldNameTable::build(const std::vector<std::pair<std::string_view, PyObject*>>& names,
                           const std::vector<bool>& follows) {
  size_t size = 4;
  while (size < 2 * names.size()) size *= 2;
  slots_.assign(size, Slot{});
  uint32_t previous = NO_SLOT;
  for (size_t k = 0; k < names.size(); ++k) {
    const auto& [text, name] = names[k];
    // The hash reads past the text's end.
    char padded[CACHED_TEXT_BYTES + 8] = {};
    std::memcpy(padded, text.data(), text.size());
    const uint64_t hash = short_text_hash(padded, text.size());
    uint32_t at = slot_of(padded, text.size(), hash);
    if (at == NO_SLOT) {
      size_t i = hash & (size - 1);
      while (slots_[i].name) i = (i + 1) & (size - 1);
      slots_[i] = {hash, name, static_cast<uint32_t>(bytes_.size()),
                   static_cast<uint32_t>(text.size()), NO_SLOT};
      bytes_.append(text);
      at = static_cast<uint32_t>(i);
    }
    // A name in several records expects what follows it in the first.
    if (follows[k] && previous != NO_SLOT && slots_[previous].next == NO_SLOT) {
      slots_[previous].next = at;
    }
    previous = at;
  }
}

JsonKeyPattern make_key_pattern(std::string_view name) {
  JsonKeyPattern key;
  const uint32_t length = static_cast<uint32_t>(name.size());
  if (name.size() > JsonKeyPattern::BYTES - sizeof length) return key;
  std::memcpy(key.bytes, &length, sizeof length);
  std::memcpy(key.bytes + sizeof length, name.data(), name.size());
  key.width = static_cast<uint8_t>(sizeof length + name.size());
  return key;
}

std::unique_ptr<check::PlanPart> make_json_plan_part(const check::WalkPlan& plan,
                                                     const ValidatorCore&) {
  auto part = std::make_unique<JsonPlanPart>();
  size_t total = 0;
  for (const check::PlanRecord& record : plan.records) total += record.node->fields.size();
  // Sized once: the facts point into them.
  part->keys.resize(total);
  part->fields.resize(total);
  size_t at = 0;
  std::vector<std::pair<std::string_view, PyObject*>> names;
  std::vector<bool> follows;
  for (const check::PlanRecord& record : plan.records) {
    bool after_previous = false;
    for (size_t i = 0; i < record.names.size(); ++i) {
      const std::string& text = record.node->fields[i].name;
      if (record.names[i] && text.size() <= CACHED_TEXT_BYTES) {
        names.emplace_back(text, record.names[i].get());
        follows.push_back(after_previous);
        after_previous = true;
      } else {
        after_previous = false;
      }
    }
    part->records.push_back({&record, part->keys.data() + at, record.json_field_kinds.data(),
                             part->fields.data() + at, record.distinct});
    for (const RecordField& field : record.node->fields) {
      const check::PlanEntry* e = plan.entry(field.node);
      const check::PlanEntry* base =
          field.node.kind == NodeKind::Constrained && field.node.child ? plan.entry(*field.node.child)
                                                                       : nullptr;
      JsonFieldFacts& facts = part->fields[at];
      if (e && base && e->bounds != check::NO_FACT && base->by_type) {
        facts.bounds = e->bounds;
        facts.base_kinds = base->json_kinds;
      }
      if (e) facts.literals = e->literals;
      part->keys[at++] = make_key_pattern(field.name);
    }
  }
  for (const check::PlanTagged& tagged : plan.tagged) {
    part->tag_keys.push_back(make_key_pattern(tagged.name));
  }
  part->field_names.build(names, follows);
  return part;
}

}  // namespace tarmelix::json
