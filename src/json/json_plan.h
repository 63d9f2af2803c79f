// The JSON roads' own part of the walk plan: each record field's name laid
// out as its key's text lies in the SIMD parser's string buffer, so a key is
// compared by two 16-byte loads.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <cstring>
#include <utility>

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

// Every record field's name as the interned str the plan owns, looked up by
// the bytes of a document's key, so a key that names a field is that str.
// Each name also knows the one after it in its record, so the keys of a
// record in declared order are told by one compare each, with no hash.
class FieldNameTable {
 public:
  static constexpr uint32_t NO_SLOT = ~uint32_t{0};

  // A name found: the str (borrowed, the plan keeps it) and the slot of the
  // name expected next. Null str when no field has this name.
  struct Found {
    PyObject* name = nullptr;
    uint32_t next = NO_SLOT;
  };

  // `hash` is short_text_hash of the bytes (json/string_cache.h).
  Found find(const char* p, size_t n, uint64_t hash) const {
    if (slots_.empty()) return {};
    const size_t mask = slots_.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
      const Slot& s = slots_[i];
      if (!s.name) return {};
      if (s.hash == hash && s.length == n && check::same_bytes(bytes_.data() + s.offset, p, n)) {
        return {s.name, s.next};
      }
    }
  }
  // The name at `slot` (from Found::next) when the bytes are it.
  Found expected(uint32_t slot, const char* p, size_t n) const {
    if (slot == NO_SLOT) return {};
    const Slot& s = slots_[slot];
    if (s.length != n || !check::same_bytes(bytes_.data() + s.offset, p, n)) return {};
    return {s.name, s.next};
  }
  // Fills the table once, from (name bytes, interned str) pairs in field
  // order; `follows[i]`: pair i is the field right after pair i - 1 in one
  // record.
  void build(const std::vector<std::pair<std::string_view, PyObject*>>& names,
             const std::vector<bool>& follows);

 private:
  struct Slot {
    uint64_t hash = 0;
    PyObject* name = nullptr;
    uint32_t offset = 0;
    uint32_t length = 0;
    uint32_t next = NO_SLOT;
  };
  uint32_t slot_of(const char* p, size_t n, uint64_t hash) const;

  std::vector<Slot> slots_;  // a power of two, at most half full
  std::string bytes_;
};

struct JsonPlanPart final : check::PlanPart {
  std::vector<JsonRecordFacts> records;  // by the plan's record position
  std::vector<JsonKeyPattern> keys;      // every record's, back to back
  std::vector<JsonFieldFacts> fields;    // the same
  std::vector<JsonKeyPattern> tag_keys;  // by the plan's tagged union position
  FieldNameTable field_names;
};

// The field names of a plan's JSON part; null without one.
inline const FieldNameTable* json_field_names(const check::WalkPlan* plan) {
  if (!plan || !plan->json_part) return nullptr;
  return &static_cast<const JsonPlanPart*>(plan->json_part.get())->field_names;
}

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
