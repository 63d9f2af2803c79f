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

// What the in-order walk of a record reads for every object, in one place.
struct JsonRecordFacts {
  const check::PlanRecord* record;
  const JsonKeyPattern* keys;  // one per field, in field order
  const uint8_t* field_kinds;  // PlanRecord::json_field_kinds
  bool distinct;
};

struct JsonPlanPart final : check::PlanPart {
  std::vector<JsonRecordFacts> records;  // by the plan's record position
  std::vector<JsonKeyPattern> keys;      // every record's, back to back
};

// A Record node's facts, or null without the part or an entry.
inline const JsonRecordFacts* json_record_facts(const check::WalkPlan& plan,
                                                const SchemaNode& node) {
  const check::PlanEntry* e = plan.entry(node);
  if (!e || e->record == check::NO_FACT || !plan.json_part) return nullptr;
  return &static_cast<const JsonPlanPart*>(plan.json_part.get())->records[e->record];
}

// Made with every plan (check::set_json_part_maker, at module init).
std::unique_ptr<check::PlanPart> make_json_plan_part(const check::WalkPlan& plan,
                                                     const ValidatorCore& core);

}  // namespace tarmelix::json
