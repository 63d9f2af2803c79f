#include "json/json_plan.h"

#include <cstring>

#include "json/string_cache.h"

namespace tarmelix::json {

void FieldNameTable::build(const std::vector<std::pair<std::string_view, PyObject*>>& names) {
  size_t size = 4;
  while (size < 2 * names.size()) size *= 2;
  slots_.assign(size, Slot{});
  for (const auto& [text, name] : names) {
    const uint64_t hash = short_text_hash(text.data(), text.size());
    if (find(text.data(), text.size(), hash)) continue;
    size_t i = hash & (size - 1);
    while (slots_[i].name) i = (i + 1) & (size - 1);
    slots_[i] = {hash, name, static_cast<uint32_t>(bytes_.size()),
                 static_cast<uint32_t>(text.size())};
    bytes_.append(text);
  }
}

std::unique_ptr<check::PlanPart> make_json_plan_part(const check::WalkPlan& plan,
                                                     const ValidatorCore&) {
  auto part = std::make_unique<JsonPlanPart>();
  size_t total = 0;
  for (const check::PlanRecord& record : plan.records) total += record.node->fields.size();
  // Sized once: the facts point into it.
  part->keys.resize(total);
  part->field_bounds.resize(total);
  size_t at = 0;
  std::vector<std::pair<std::string_view, PyObject*>> names;
  for (const check::PlanRecord& record : plan.records) {
    for (size_t i = 0; i < record.names.size(); ++i) {
      const std::string& text = record.node->fields[i].name;
      if (record.names[i] && text.size() <= CACHED_TEXT_BYTES) {
        names.emplace_back(text, record.names[i].get());
      }
    }
    const std::vector<RecordField>& fields = record.node->fields;
    part->records.push_back({&record, part->keys.data() + at, record.json_field_kinds.data(),
                             part->field_bounds.data() + at, record.distinct});
    for (const RecordField& field : fields) {
      const check::PlanEntry* e = plan.entry(field.node);
      const check::PlanEntry* base =
          field.node.kind == NodeKind::Constrained && field.node.child ? plan.entry(*field.node.child)
                                                                       : nullptr;
      if (e && base && e->bounds != check::NO_FACT && base->by_type) {
        part->field_bounds[at] = {e->bounds, base->json_kinds};
      }
      JsonKeyPattern& key = part->keys[at++];
      const std::string& name = field.name;
      const uint32_t length = static_cast<uint32_t>(name.size());
      if (name.size() > JsonKeyPattern::BYTES - sizeof length) continue;
      std::memcpy(key.bytes, &length, sizeof length);
      std::memcpy(key.bytes + sizeof length, name.data(), name.size());
      key.width = static_cast<uint8_t>(sizeof length + name.size());
    }
  }
  part->field_names.build(names);
  return part;
}

}  // namespace tarmelix::json
