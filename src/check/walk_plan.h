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

// A Constrained node's constraints read natively, one per constraint.
struct PlanBounds {
  const SchemaNode* node = nullptr;  // in the core's tree
  std::vector<NativeBound> bounds;
  std::vector<const re2::RE2*> patterns;  // Regex: the compiled pattern, or null
};

struct PlanEntry {
  // Scalars and unions of them: the exact type alone decides the value. A
  // value of a type without a bit goes to the walk.
  bool by_type = false;
  uint8_t py_types = 0;
  uint32_t record = NO_FACT;      // a Record with fields: into records
  uint32_t literals = NO_FACT;    // a Literal or an all-literal Union: into literals
  uint32_t tagged = NO_FACT;      // a discriminated Union: into tagged
  uint32_t attributes = NO_FACT;  // an Object with fields: into attribute_names
  uint32_t bounds = NO_FACT;      // a Constrained node: into bounds
  // An Instance node: its class (borrowed from the pool), of which a value
  // of exactly that type is an instance without any call.
  PyObject* exact_class = nullptr;
};

// Facts that one road alone reads, kept by that road's folder.
struct PlanPart {
  virtual ~PlanPart() = default;
};

struct WalkPlan;

// Makes a road's part beside the plan, in the plan's one traversal: post()
// for every node of the root and of each definition, after the node's own
// entry (its children's entries and posts already made); finish() once, on
// the finished plan.
class PlanPartBuilder {
 public:
  virtual ~PlanPartBuilder() = default;
  virtual void post(const SchemaNode& node, const WalkPlan& plan) = 0;
  virtual std::unique_ptr<PlanPart> finish(const WalkPlan& plan) = 0;
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
  std::unordered_map<std::string, std::unique_ptr<re2::RE2>, FxHasher, std::equal_to<>>
      compiled_patterns;
  // No step of the schema runs code of the user's, so nothing can change a
  // value during a walk: a union's candidates may leave their got texts
  // until their records are kept. Else each is taken when its record is made.
  bool got_texts_may_wait = false;
  // What the builder the plan's build was given made (null for none).
  std::unique_ptr<PlanPart> part;

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

// The record index of a Record node; null without a plan or an entry.
const RecordIndex* find_record_index(const WalkPlan* plan, const SchemaNode& record);
// The literal sets of a Union node; null without a plan or an entry.
const LiteralSets* find_literal_sets(const WalkPlan* plan, const SchemaNode& union_node);
// The compiled full-match pattern of a text; null without a plan or an entry.
const re2::RE2* find_compiled_pattern(const WalkPlan* plan, std::string_view text);

// The field map a record check uses when the plan has none.
RecordIndex make_record_index(const std::vector<RecordField>& fields);

// Builds the plan of a core's schema in one traversal, with `part`'s facts
// when given. Reads only exact int, str and float constants and the types
// of constants, makes only str objects and runs no Python code.
std::unique_ptr<WalkPlan> build_walk_plan(const ValidatorCore& core, PlanPartBuilder* part = nullptr);

// Builds the core's plan once (with `part`'s facts, when given); never
// blocks the interpreter. A caller that finds it built already is handed
// that plan, whatever part it was built with.
void ensure_walk_plan(ValidatorCore& core, PlanPartBuilder* part = nullptr);

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
using check::ensure_walk_plan;
}  // namespace tarmelix
