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

// What a field's value is tested by inline, when its kind alone does not
// decide it: a node constraining a base its kind decides (the base's kinds
// and the node's native bounds), or a literal set; NO_FACT where neither.
struct JsonFieldFacts {
  uint32_t bounds = check::NO_FACT;
  uint8_t base_kinds = 0;
  uint32_t literals = check::NO_FACT;
};

// What the in-order walk of a record reads for every object, in one place.
struct JsonRecordFacts {
  const check::PlanRecord* record;
  const JsonKeyPattern* keys;           // one per field, in field order
  const uint8_t* field_kinds;           // PlanRecord::json_field_kinds
  const JsonFieldFacts* fields;        // one per field
  bool distinct;
};

struct JsonPlanPart final : check::PlanPart {
  std::vector<JsonRecordFacts> records;  // by the plan's record position
  std::vector<JsonKeyPattern> keys;      // every record's, back to back
  std::vector<JsonFieldFacts> fields;    // the same
  std::vector<JsonKeyPattern> tag_keys;  // by the plan's tagged union position
};

// A Record node's facts, or null without the part or an entry.
inline const JsonRecordFacts* json_record_facts(const check::WalkPlan& plan,
                                                const SchemaNode& node) {
  const check::PlanEntry* e = plan.entry(node);
  if (!e || e->record == check::NO_FACT || !plan.json_part) return nullptr;
  return &static_cast<const JsonPlanPart*>(plan.json_part.get())->records[e->record];
}

// The key pattern of a name (width 0 when too long for one).
JsonKeyPattern make_key_pattern(std::string_view name);

// Made with every plan (check::set_json_part_maker, at module init).
std::unique_ptr<check::PlanPart> make_json_plan_part(const check::WalkPlan& plan,
                                                     const ValidatorCore& core);

}  // namespace tarmelix::json
