// Per-validator lookup tables that spare the walk repeated work: a field map
// per record, the int and str values of all-literal unions, and compiled
// patterns by text. Built once per core; a walk without a plan (null) gives
// the same answers by taking its general road.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "check/flat_table.h"
#include "check/json_facts.h"
#include "schema/core.h"
#include "schema/fxhash.h"

namespace re2 {
class RE2;
}

namespace tarmelix::check {

struct FastPlan;

struct RecordIndex {
  TextTable field_positions;  // name -> position of the last field of that name
  size_t required_count = 0;  // fields with the required flag, every one counted
};

struct LiteralSets {
  WordTable int_values;  // exact-int literals that fit in int64 (values unused)
  TextTable str_values;  // exact-str literals that encode as UTF-8 (values unused)
};

struct WalkPlan final : WalkPlanBase {
  WalkPlan();
  ~WalkPlan() override;

  // Keyed by node identity: the address of a record's field list or of a
  // union's member list, stable for the life of the core.
  WordTable record_slots;  // -> index into records
  std::vector<RecordIndex> records;
  WordTable union_slots;  // -> index into unions
  std::vector<LiteralSets> unions;
  std::unordered_map<std::string, std::unique_ptr<re2::RE2>, FxHasher, std::equal_to<>>
      compiled_patterns;
  // Keyed by the address of an Object node's field list.
  WordTable object_slots;  // -> index into attribute_names
  std::vector<std::vector<py::Ref>> attribute_names;  // interned, in field order
  // The fast roads' facts (check/fast_plan.h); null when they are off.
  std::unique_ptr<FastPlan> fast;
  JsonFacts json;  // read by the JSON walks only
};

// The record index of a Record node; null without a plan or an entry.
const RecordIndex* find_record_index(const WalkPlan* plan, const SchemaNode& record);
// The literal sets of a Union node; null without a plan or an entry.
const LiteralSets* find_literal_sets(const WalkPlan* plan, const SchemaNode& union_node);
// The interned attribute names of an Object node's fields, in field order;
// null without a plan or an entry.
const py::Ref* find_attribute_names(const WalkPlan* plan, const std::vector<RecordField>& fields);
// The compiled full-match pattern of a text; null without a plan or an entry.
const re2::RE2* find_compiled_pattern(const WalkPlan* plan, std::string_view text);

// The field map a record check uses when the plan has none.
RecordIndex make_record_index(const std::vector<RecordField>& fields);

// Builds the tables of a core's schema. Reads only exact int and str
// constants, makes only str objects and runs no Python code.
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
