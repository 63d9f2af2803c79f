// Per-validator facts for the fast roads of the walk: the element test of a
// homogeneous sequence, the owned literal objects of an all-literal union
// and the interned field names of a record. Built with the walk plan, under
// its once-flag; every fast road falls back to the general walk on anything
// it was not built for, so the answers and records never depend on it.
#pragma once

#include <deque>
#include <memory>
#include <vector>

#include "check/flat_table.h"
#include "py/ref.h"
#include "schema/core.h"

namespace tarmelix::check {

struct LiteralSets;
struct RecordIndex;
struct WalkPlan;

// An all-literal union: its exact int and str constants by identity. The
// references keep those addresses from being reused while the plan lives.
struct FastLiterals {
  const LiteralSets* sets = nullptr;
  WordTable identities;  // address of an owned constant -> 0
  std::vector<py::Ref> owned;
};

// A record with fields: the interned name of each field, null for a field
// that a later one of the same name shadows (the field map sends that text
// to the later one).
struct FastRecord {
  const RecordIndex* index = nullptr;
  std::vector<py::Ref> names;
};

enum class ElementTest : uint8_t { Scalar, Literals, Record };

// A sequence with no fixed items and one repeated element node.
struct FastSequence {
  ElementTest test = ElementTest::Scalar;
  NodeKind scalar = NodeKind::Anything;  // Scalar: a kind scalar_test answers
  const FastLiterals* literals = nullptr;
  const FastRecord* record = nullptr;
  const SchemaNode* record_node = nullptr;
};

struct FastPlan {
  // Keyed by the same node identities as the walk plan's tables; a sequence
  // by the address of its pattern.
  WordTable sequence_slots;
  std::deque<FastSequence> sequences;
  WordTable union_slots;
  std::deque<FastLiterals> unions;
  WordTable record_slots;
  std::deque<FastRecord> records;
};

// Never null: a schema without fast facts gets an empty plan. Interns names,
// so it needs the interpreter; runs no Python code of the user's.
std::unique_ptr<FastPlan> build_fast_plan(const ValidatorCore& core, const WalkPlan& plan);

const FastSequence* find_fast_sequence(const WalkPlan* plan, const SchemaNode& sequence);
const FastLiterals* find_fast_literals(const WalkPlan* plan, const SchemaNode& union_node);
const FastRecord* find_fast_record(const WalkPlan* plan, const SchemaNode& record);

}  // namespace tarmelix::check
