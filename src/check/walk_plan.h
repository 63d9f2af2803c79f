// The one plan of a validator: every fact any road reads about a node,
// decided once, when the plan is built, in one entry per node found by the
// node's slot (its pre-order number in the core). A walk without a plan
// (null), or a node without an entry, gives the same answers by taking the
// general road; every fast fact hands the unusual value to that road.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "check/flat_table.h"
#include "check/kinds.h"
#include "check/native_bound.h"
#include "schema/core.h"
#include "schema/fxhash.h"

namespace re2 {
class RE2;
}

namespace tarmelix::check {

inline constexpr uint32_t NO_FACT = UINT32_MAX;

// A field kind of PlanRecord::json_field_kinds: the value needs its walk.
inline constexpr uint8_t JSON_WALK = 0x80;

struct RecordIndex {
  TextTable field_positions;  // name -> position of the last field of that name
  size_t required_count = 0;  // fields with the required flag, every one counted
};

struct LiteralSets {
  WordTable int_values;  // exact-int literals that fit in int64 (values unused)
  TextTable str_values;  // exact-str literals that encode as UTF-8 (values unused)
};

// A Record that declares fields.
struct PlanRecord {
  const SchemaNode* node = nullptr;  // in the core's tree
  RecordIndex index;
  // Field names for lookups by bare text, each to the position
  // of the last field of that name: the JSON walks' map.
  BareTextTable bare_keys;
  bool distinct = false;  // no two fields share a name
  // Per field, in order: the JSON kinds that decide its value alone, or
  // JSON_WALK where the value needs its walk. Beside each other, so a
  // record's walk reads no field node it need not.
  std::vector<uint8_t> json_field_kinds;
  // The interned name of each field, null for a field that a later one of
  // the same name shadows; empty when one could not be made.
  std::vector<py::Ref> names;
};

// A Union all of whose members are Literals, or a Literal node alone.
struct PlanLiterals {
  LiteralSets sets;
  // Constants a value that is the very object is a member by: exact ints
  // and strs, and instances (enum members) of a type compared by identity.
  // The references keep the addresses from being reused.
  WordTable identities;
  std::vector<py::Ref> owned;
  // The sets' texts again, for the JSON walks: a document's text has no
  // cached str hash.
  BareTextTable bare_texts;
  // When every int value lies within 64 of the least: bit i for the value
  // int_base + i, so a lookup is one shift.
  bool ints_dense = false;
  int64_t int_base = 0;
  uint64_t int_bits = 0;

  bool has_int(int64_t v) const {
    if (!ints_dense) return sets.int_values.contains(static_cast<uint64_t>(v));
    const uint64_t offset = static_cast<uint64_t>(v) - static_cast<uint64_t>(int_base);
    return offset < 64 && (int_bits >> offset & 1) != 0;
  }
};

// A Union of records that each require one key (the same name in all),
// bound to literals no other member admits: the tag's value names the one
// member that can admit a value. Only where no member's walk runs code of
// the user's, so skipping the others changes nothing.
struct PlanTagged {
  const SchemaNode* union_node = nullptr;  // in the core's tree
  std::string name;
  py::Ref interned;
  BareTextTable str_tags;  // text -> member position
  WordTable int_tags;  // int64 -> member position
};

// A Union on the JSON roads: per value kind (by bit position), the one
// member that can accept it, NO_MEMBER where none can, or MANY_MEMBERS
// where several can and the members are walked in order.
struct UnionByKind {
  static constexpr uint8_t NO_MEMBER = 0xff;
  static constexpr uint8_t MANY_MEMBERS = 0xfe;
  uint8_t member[7];
};

// A Constrained node's constraints read natively, one per constraint.
struct PlanBounds {
  const SchemaNode* node = nullptr;  // in the core's tree
  std::vector<NativeBound> bounds;
  std::vector<const re2::RE2*> patterns;  // Regex: the compiled pattern, or null
};

struct PlanEntry {
  // Scalars and unions of them: the exact type (Python) or the kind (JSON)
  // alone decides the value. A Python value of a type without a bit goes
  // to the walk.
  bool by_type = false;
  uint8_t py_types = 0;
  uint8_t json_kinds = 0;
  uint32_t record = NO_FACT;      // a Record with fields: into records
  uint32_t literals = NO_FACT;    // a Literal or an all-literal Union: into literals
  uint32_t tagged = NO_FACT;      // a discriminated Union: into tagged
  uint32_t attributes = NO_FACT;  // an Object with fields: into attribute_names
  uint32_t bounds = NO_FACT;      // a Constrained node: into bounds
  uint32_t by_kind = NO_FACT;     // a Union: into by_kind
  // The JSON kinds the node can accept: a value of any other kind is
  // refused without running any code.
  uint8_t json_footprint = JSON_ANY_KIND;
  // An Instance node: its class (borrowed from the pool), of which a value
  // of exactly that type is an instance without any call.
  PyObject* exact_class = nullptr;
};

// Facts that one road alone reads, made by that road's folder from the
// finished shared plan (see set_plan_part_maker).
struct PlanPart {
  virtual ~PlanPart() = default;
};

struct WalkPlan final : WalkPlanBase {
  WalkPlan();
  ~WalkPlan() override;

  std::vector<PlanEntry> entries;  // by node slot
  std::vector<PlanRecord> records;
  std::vector<PlanLiterals> literals;
  std::vector<PlanTagged> tagged;
  std::vector<std::vector<py::Ref>> attribute_names;  // interned, in field order
  std::vector<PlanBounds> bounds;
  std::vector<UnionByKind> by_kind;
  std::unordered_map<std::string, std::unique_ptr<re2::RE2>, FxHasher, std::equal_to<>>
      compiled_patterns;
  // No Instance, Object, predicate, Literal or bound whose comparison could
  // reach a method of the user's: a JSON walk runs only our own code.
  bool runs_only_own_code = false;
  // No step of the schema runs code of the user's, so nothing can change a
  // value during a walk: a union's candidates may leave their got texts
  // until their records are kept. Else each is taken when its record is made.
  bool got_texts_may_wait = false;
  std::unique_ptr<PlanPart> json_part;

  const PlanEntry* entry(const SchemaNode& node) const {
    return node.slot < entries.size() ? &entries[node.slot] : nullptr;
  }
  const PlanRecord* record(const SchemaNode& node) const {
    const PlanEntry* e = entry(node);
    return e && e->record != NO_FACT ? &records[e->record] : nullptr;
  }
  const PlanLiterals* literal_union(const SchemaNode& node) const {
    const PlanEntry* e = entry(node);
    return e && e->literals != NO_FACT ? &literals[e->literals] : nullptr;
  }
};

// Makes the JSON roads' part of a finished plan. Set once, when the module
// is initialised; a plan built before that has no such part.
using PlanPartMaker = std::unique_ptr<PlanPart> (*)(const WalkPlan& plan, const ValidatorCore& core);
void set_json_part_maker(PlanPartMaker maker);

// The record index of a Record node; null without a plan or an entry.
const RecordIndex* find_record_index(const WalkPlan* plan, const SchemaNode& record);
// The literal sets of a Union node; null without a plan or an entry.
const LiteralSets* find_literal_sets(const WalkPlan* plan, const SchemaNode& union_node);
// The compiled full-match pattern of a text; null without a plan or an entry.
const re2::RE2* find_compiled_pattern(const WalkPlan* plan, std::string_view text);

// The field map a record check uses when the plan has none.
RecordIndex make_record_index(const std::vector<RecordField>& fields);

// Builds the plan of a core's schema in one traversal. Reads only exact
// int, str and float constants and the types of constants, makes only str
// objects and runs no Python code.
std::unique_ptr<WalkPlan> build_walk_plan(const ValidatorCore& core);

// The core's plan, or null before ensure_walk_plan has built it.
const WalkPlan* core_walk_plan(const ValidatorCore& core);

// The plan an entry point hands its walk: the core's plan, or null (the empty
// plan, so every walk takes its reference road) when the slow switch is on
// (check/slow_paths.h).
const WalkPlan* plan_for_walks(const ValidatorCore& core);

}  // namespace tarmelix::check

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using check::WalkPlan;
using check::RecordIndex;
using check::LiteralSets;
using check::find_record_index;
using check::find_literal_sets;
using check::core_walk_plan;
using check::plan_for_walks;
}  // namespace tarmelix
