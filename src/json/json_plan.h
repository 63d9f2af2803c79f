// The JSON roads' own part of the walk plan: each record field's name laid
// out as its key's text lies in the SIMD parser's string buffer, so a key is
// compared by two 16-byte loads.
#pragma once

#include <cstdint>
#include <vector>

#include "check/walk_plan.h"

namespace tarmelix::json {

// A 4-byte length, then the bytes, zero past them. Names too long for it
// have width 0.
struct JsonKeyPattern {
  static constexpr size_t BYTES = 32;
  alignas(16) uint8_t bytes[BYTES] = {};
  uint8_t width = 0;  // bytes that count: 4 + the name's length
};

struct JsonPlanPart final : check::PlanPart {
  // By the plan's record position: one pattern per field, in field order.
  std::vector<std::vector<JsonKeyPattern>> record_keys;
};

// The key patterns of a record entry, or null without the part.
inline const JsonKeyPattern* record_key_patterns(const check::WalkPlan& plan,
                                                 const check::PlanRecord& record) {
  const auto* part = static_cast<const JsonPlanPart*>(plan.json_part.get());
  if (!part) return nullptr;
  return part->record_keys[static_cast<size_t>(&record - plan.records.data())].data();
}

// Made with every plan (check::set_json_part_maker, at module init).
std::unique_ptr<check::PlanPart> make_json_plan_part(const check::WalkPlan& plan,
                                                     const ValidatorCore& core);

}  // namespace tarmelix::json
