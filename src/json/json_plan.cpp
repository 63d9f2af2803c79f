#include "json/json_plan.h"

#include <cstring>

namespace tarmelix::json {

std::unique_ptr<check::PlanPart> make_json_plan_part(const check::WalkPlan& plan,
                                                     const ValidatorCore&) {
  auto part = std::make_unique<JsonPlanPart>();
  size_t total = 0;
  for (const check::PlanRecord& record : plan.records) total += record.node->fields.size();
  // Sized once: the facts point into it.
  part->keys.resize(total);
  part->field_bounds.resize(total);
  size_t at = 0;
  for (const check::PlanRecord& record : plan.records) {
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
  return part;
}

}  // namespace tarmelix::json
