#include "json/json_plan.h"

#include <cstring>

namespace tarmelix::json {

std::unique_ptr<check::PlanPart> make_json_plan_part(const check::WalkPlan& plan,
                                                     const ValidatorCore&) {
  auto part = std::make_unique<JsonPlanPart>();
  part->record_keys.reserve(plan.records.size());
  for (const check::PlanRecord& record : plan.records) {
    std::vector<JsonKeyPattern>& keys = part->record_keys.emplace_back(record.node->fields.size());
    for (size_t i = 0; i < keys.size(); ++i) {
      const std::string& name = record.node->fields[i].name;
      const uint32_t length = static_cast<uint32_t>(name.size());
      if (name.size() > JsonKeyPattern::BYTES - sizeof length) continue;
      std::memcpy(keys[i].bytes, &length, sizeof length);
      std::memcpy(keys[i].bytes + sizeof length, name.data(), name.size());
      keys[i].width = static_cast<uint8_t>(sizeof length + name.size());
    }
  }
  return part;
}

}  // namespace tarmelix::json
