// The JSON roads' own part of the walk plan: what they know of each node,
// found by its slot, made by JsonPartBuilder in the plan's one traversal.
// Among it, each record field's name laid out as its key's text lies in the
// SIMD parser's string buffer, so a key is compared by two 16-byte loads.
// The JSON roads read the shared plan (check/walk_plan.h) for the facts the
// Python walk reads too: record indexes, literal sets, tags and bounds.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <cmath>
#include <cstring>
#include <utility>

#include "check/walk_plan.h"
#include "json/json_kinds.h"

namespace tarmelix::json {

// How a node's value is decided in place, from the node's facts alone:
// with no walk, no conversion and no code of the user's.
enum class InPlace : uint8_t {
  No,        // by its walk
  Kinds,     // by its kind: `kinds` (scalars and unions of them)
  Literals,  // by the literal sets at `literals`, for a string or an int64
  Bounded,   // a base decided by `kinds`, then the constraints at `bounds`
             // natively, where they can tell
  Items,     // a list of items decided in place (`item`, `item_facts`): by
             // kinds, stepped in runs, or by literal sets; a value that is
             // no array by `kinds` (the members of a union beside the list)
};

struct JsonLiterals;
struct JsonRanges;

struct JsonNode {
  // The plan entry's positions again, so the walk reads one entry a node.
  uint32_t record = check::NO_FACT;    // into the plan's records
  uint32_t literals = check::NO_FACT;  // into the plan's literals
  uint32_t tagged = check::NO_FACT;    // into the plan's tagged
  uint32_t bounds = check::NO_FACT;    // into the plan's bounds
  uint32_t by_kind = check::NO_FACT;   // a Union: into JsonPlanPart::by_kind
  InPlace how = InPlace::No;
  uint8_t kinds = 0;
  // The kinds the node can accept: a value of any other kind is refused
  // without running any code.
  uint8_t footprint = JSON_ANY_KIND;
  const SchemaNode* item = nullptr;        // Items: the item node
  const JsonNode* item_facts = nullptr;    // and its facts
  // Literals: the sets at `literals`; Bounded: the ranges at `bounds`.
  const JsonLiterals* literal_set = nullptr;
  const JsonRanges* ranges = nullptr;
};

// A Union: per value kind (by bit position), the one member that can
// accept it, NO_MEMBER where none can, or MANY_MEMBERS where several can and
// the members are walked in order.
struct UnionByKind {
  static constexpr uint8_t NO_MEMBER = 0xff;
  static constexpr uint8_t MANY_MEMBERS = 0xfe;
  uint8_t member[7];
};

// A 4-byte length, then the bytes, zero past them. Names too long for it
// have width 0.
struct JsonKeyPattern {
  static constexpr size_t BYTES = 32;
  alignas(16) uint8_t bytes[BYTES] = {};
  uint8_t width = 0;  // bytes that count: 4 + the name's length
  // For a width of at most 16: the first 16 bytes as two words, and the
  // masks of the bytes that count in each.
  uint64_t words[2] = {};
  uint64_t masks[2] = {};
};

// A set of a few texts, each laid out as a key pattern, so a string on the
// tape is compared with all of them from one or two loads. Empty (count 0)
// where the texts are too many or too long for it.
struct JsonTextSet {
  static constexpr size_t MOST = 8;
  JsonKeyPattern texts[MOST];
  uint8_t count = 0;
  bool wide = false;  // some text is past 12 bytes: both halves are compared
  // Every text of at most 4 bytes: compared by its first word alone.
  bool short_texts = false;
  // Texts of 4 to 12 bytes whose first words (the length and four bytes)
  // a multiply-shift tells apart: a string is compared with the one text
  // its first word names, by_word[(first word * multiplier) >> 59].
  static constexpr uint8_t NONE = 0xff;
  bool by_first_word = false;
  uint64_t multiplier = 0;
  uint8_t by_word[32] = {};
};

// A Constrained node's constraints as plain ranges, for each value kind
// every one of them decides natively: ints by an inclusive int64 range,
// floats by bounds each open or closed (a NaN bound admits nothing, as it
// orders with nothing), texts by a range of code points. A kind whose flag
// is off goes through the constraints one by one.
struct JsonRanges {
  bool ints = false;
  bool floats = false;
  bool texts = false;
  bool float_lo_open = false;
  bool float_hi_open = false;
  // The float bounds closed: an open bound moved to the next double inward,
  // which a double passes exactly when it passes the open bound.
  double float_least = -HUGE_VAL;
  double float_most = HUGE_VAL;
  int64_t int_lo = INT64_MIN;
  int64_t int_hi = INT64_MAX;
  double float_lo = -HUGE_VAL;
  double float_hi = HUGE_VAL;
  uint64_t length_lo = 0;
  uint64_t length_hi = UINT64_MAX;
};

// A tagged union's tag key, and which members have the tag as their first
// field (bit per member position, the first 64).
struct JsonRecordFacts;
struct JsonTaggedFacts {
  JsonKeyPattern key;
  uint64_t tag_first = 0;
  std::vector<const JsonRecordFacts*> members;  // by member position; null for none
  // The string tags, when few and short enough for a text set, and the
  // member position of each.
  JsonTextSet str_tags;
  uint8_t str_tag_members[JsonTextSet::MOST] = {};
};

// A Literal or an all-literal Union: the plan's sets, with their texts for
// lookups by bare text (a document's text has no cached str hash) and, when
// few and short enough, as a text set compared in place.
struct JsonLiterals {
  const check::PlanLiterals* sets = nullptr;
  check::BareTextTable texts;
  JsonTextSet few;
};

// A field's InPlace and kinds, copied from its node's facts: two bytes a
// field, so the walk of a record of scalars reads no more.
struct JsonFieldHow {
  InPlace how = InPlace::No;
  uint8_t kinds = 0;
};

// What the in-order walk of a record reads for every object, in one place.
struct JsonRecordFacts {
  const check::PlanRecord* record;
  const JsonKeyPattern* keys;  // one per field, in field order
  // Per field, in order, how its value is decided and its node's facts
  // (null for none): beside each other, so a record's walk reads no field
  // node it need not.
  const JsonFieldHow* field_how;
  const JsonNode* const* field_facts;
  // Field names for lookups by bare text (a document's text has no cached
  // str hash), each to the position of the last field of that name.
  const check::BareTextTable* by_text;
  bool distinct;  // no two fields share a name
};

// Every record field's name as the interned str the plan owns, looked up by
// the bytes of a document's key, so a key that names a field is that str.
// Each name also knows the one after it in its record, so the keys of a
// record in declared order are told by one compare each, with no hash.
class FieldNameTable {
 public:
  static constexpr uint32_t NO_ENTRY = ~uint32_t{0};

  // A name found: the str (borrowed, the plan keeps it) and the entry of
  // the name expected next. Null str when no field has this name.
  struct Found {
    PyObject* name = nullptr;
    uint32_t next = NO_ENTRY;
  };

  // `hash` is short_text_hash of the bytes (json/string_cache.h).
  Found find(const char* p, size_t n, uint64_t hash) const {
    if (entries_.empty()) return {};
    const size_t mask = entries_.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
      const Entry& s = entries_[i];
      if (!s.name) return {};
      if (s.hash == hash && s.length == n && check::same_bytes(bytes_.data() + s.offset, p, n)) {
        return {s.name, s.next};
      }
    }
  }
  // The name at `entry` (from Found::next) when the bytes are it.
  Found expected(uint32_t entry, const char* p, size_t n) const {
    if (entry == NO_ENTRY) return {};
    const Entry& s = entries_[entry];
    if (s.length != n || !check::same_bytes(bytes_.data() + s.offset, p, n)) return {};
    return {s.name, s.next};
  }
  // Fills the table once, from (name bytes, interned str) pairs in field
  // order; `follows[i]`: pair i is the field right after pair i - 1 in one
  // record.
  void build(const std::vector<std::pair<std::string_view, PyObject*>>& names,
             const std::vector<bool>& follows);

 private:
  struct Entry {
    uint64_t hash = 0;
    PyObject* name = nullptr;
    uint32_t offset = 0;
    uint32_t length = 0;
    uint32_t next = NO_ENTRY;
  };
  uint32_t find_entry(const char* p, size_t n, uint64_t hash) const;

  std::vector<Entry> entries_;  // a power of two, at most half full
  std::string bytes_;
};

struct JsonPlanPart final : check::PlanPart {
  std::vector<JsonNode> nodes;                 // by node slot
  std::vector<UnionByKind> by_kind;
  std::vector<JsonRecordFacts> records;        // by the plan's record position
  std::vector<check::BareTextTable> record_keys;  // the same
  std::vector<JsonKeyPattern> keys;            // every record's, back to back
  std::vector<JsonFieldHow> field_how;         // the same
  std::vector<const JsonNode*> field_facts;    // the same
  std::vector<JsonTaggedFacts> tagged;         // by the plan's tagged union position
  std::vector<JsonRanges> ranges;              // by the plan's bounds position
  std::vector<JsonLiterals> literals;          // by the plan's literals position
  FieldNameTable field_names;
  // No Instance, Object, predicate, Literal or bound whose comparison could
  // reach a method of the user's: a JSON walk runs only our own code.
  bool runs_only_own_code = false;
};

inline const JsonPlanPart* json_part(const check::WalkPlan& plan) {
  return static_cast<const JsonPlanPart*>(plan.part.get());
}

// Whether a JSON walk with this plan runs only our own code (false without
// a plan or its part).
inline bool runs_only_own_code(const check::WalkPlan* plan) {
  const JsonPlanPart* part = plan ? json_part(*plan) : nullptr;
  return part && part->runs_only_own_code;
}

// A node's facts in a part; null for a node it does not number.
inline const JsonNode* json_node(const JsonPlanPart& part, const SchemaNode& node) {
  return node.slot < part.nodes.size() ? &part.nodes[node.slot] : nullptr;
}

// A node's facts; null without a plan, its part or an entry.
inline const JsonNode* json_node(const check::WalkPlan* plan, const SchemaNode& node) {
  const JsonPlanPart* part = plan ? json_part(*plan) : nullptr;
  return part ? json_node(*part, node) : nullptr;
}

// The field names of a plan's JSON part; null without one.
inline const FieldNameTable* json_field_names(const check::WalkPlan* plan) {
  const JsonPlanPart* part = plan ? json_part(*plan) : nullptr;
  return part ? &part->field_names : nullptr;
}

// A Record node's facts, or null without the part or an entry.
inline const JsonRecordFacts* json_record_facts(const check::WalkPlan& plan,
                                                const SchemaNode& node) {
  const JsonNode* n = json_node(&plan, node);
  if (!n || n->record == check::NO_FACT) return nullptr;
  return &json_part(plan)->records[n->record];
}

// The key pattern of a name (width 0 when too long for one).
JsonKeyPattern make_key_pattern(std::string_view name);

// The ranges of a node's constraints, read from their native bounds.
JsonRanges make_ranges(const SchemaNode& node, const check::PlanBounds& natives);

// Makes the JSON part of a plan, handed to the plan's build
// (check::build_walk_plan). Reads only the constants the plan reads.
class JsonPartBuilder final : public check::PlanPartBuilder {
 public:
  explicit JsonPartBuilder(const ValidatorCore& core);
  ~JsonPartBuilder() override;
  void post(const SchemaNode& node, const check::WalkPlan& plan) override;
  std::unique_ptr<check::PlanPart> finish(const check::WalkPlan& plan) override;

 private:
  const Constants& constants_;
  std::unique_ptr<JsonPlanPart> part_;
  bool own_code_ = true;
};

}  // namespace tarmelix::json
