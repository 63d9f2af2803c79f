// The schema model: plain tagged data. A node owns its children, names Python
// objects only by constants-pool index and recursive definitions only by
// definition index, so trees are copied (copy constructor), compared, hashed
// and released (destructor) without touching the interpreter.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "py/stack.h"
#include "schema/box.h"

namespace tarmelix::schema {

enum class NodeKind : uint8_t {
  Anything = 0,
  Any = 1,
  Nothing = 2,
  NoneValue = 3,
  Bool = 4,
  Int = 5,
  Float = 6,
  Str = 7,
  Bytes = 8,
  Literal = 9,
  Sequence = 10,
  Set = 11,
  FrozenSet = 12,
  Record = 13,
  Union = 14,
  Intersection = 15,
  Complement = 16,
  Instance = 17,
  Object = 18,
  Constrained = 19,
  DefinitionRef = 20,
  RecursionVariable = 21,
};

enum class SequenceKind : uint8_t { List = 0, Tuple = 1 };

enum class PatternKind : uint8_t { Empty = 0, Item = 1, Concat = 2, Alternation = 3, Repeat = 4 };

enum class ConstraintKind : uint8_t {
  Ge = 0,
  Gt = 1,
  Le = 2,
  Lt = 3,
  MinLen = 4,
  MaxLen = 5,
  MultipleOf = 6,
  Predicate = 7,
  Regex = 8,
};

struct SchemaNode;
struct SequencePattern;

// Copying a tree recurses once a level through the defaulted copy
// constructors; this first member checks the stack before a node's children
// are copied. Moves do not recurse and check nothing.
struct CopyStackCheck {
  CopyStackCheck() = default;
  CopyStackCheck(const CopyStackCheck&) { py::require_stack_room("copying a schema"); }
  CopyStackCheck(CopyStackCheck&&) noexcept = default;
  CopyStackCheck& operator=(const CopyStackCheck&) {
    py::require_stack_room("copying a schema");
    return *this;
  }
  CopyStackCheck& operator=(CopyStackCheck&&) noexcept = default;
};

struct Constraint {
  ConstraintKind kind = ConstraintKind::Ge;
  uint64_t value = 0;   // pool index (Ge..Lt, MultipleOf, Predicate) or length (MinLen, MaxLen)
  std::string pattern;  // Regex only: UTF-8 pattern text

  static Constraint with_value(ConstraintKind k, uint64_t v) { return {k, v, {}}; }
  static Constraint regex(std::string text) { return {ConstraintKind::Regex, 0, std::move(text)}; }
};

struct RecordField;
struct KeyValueClause;

// The slot of a node not numbered by a ValidatorCore.
inline constexpr uint32_t NO_NODE_SLOT = UINT32_MAX;

struct SchemaNode {
  [[no_unique_address]] CopyStackCheck copy_check;
  NodeKind kind = NodeKind::Anything;
  // The node's position in its core's pre-order numbering (root, then each
  // definition), where the walk plan keeps its facts. Not part of the
  // node's value: equality, order and hash ignore it.
  uint32_t slot = NO_NODE_SLOT;
  // Literal: constant; Instance and Object: class_index; DefinitionRef:
  // definition; RecursionVariable: variable id.
  uint64_t index = 0;
  SequenceKind sequence_kind = SequenceKind::List;  // Sequence
  Box<SequencePattern> pattern;                      // Sequence
  Box<SchemaNode> child;                // Set, FrozenSet, Complement; Constrained: base
  std::vector<SchemaNode> members;      // Union, Intersection
  std::vector<RecordField> fields;      // Record, Object
  std::vector<KeyValueClause> clauses;  // Record
  std::vector<Constraint> constraints;  // Constrained

  SchemaNode() = default;
  explicit SchemaNode(NodeKind k) : kind(k) {}
};

struct RecordField {
  std::string name;  // UTF-8
  SchemaNode node;
  bool required = true;
};

struct KeyValueClause {
  SchemaNode key;
  SchemaNode value;
};

struct SequencePattern {
  [[no_unique_address]] CopyStackCheck copy_check;
  PatternKind kind = PatternKind::Empty;
  Box<SchemaNode> node;                // Item
  std::vector<SequencePattern> parts;  // Concat, Alternation
  Box<SequencePattern> body;           // Repeat
};

using DefinitionTable = std::vector<SchemaNode>;

// Constructors for each shape; they take their payload by value.
SchemaNode make_leaf(NodeKind kind);  // kinds 0..8
SchemaNode make_literal(uint64_t constant);
SchemaNode make_instance(uint64_t class_index);
SchemaNode make_definition_ref(uint64_t definition);
SchemaNode make_recursion_variable(uint64_t variable);
SchemaNode make_sequence(SequenceKind kind, SequencePattern pattern);
SchemaNode make_set(SchemaNode child);
SchemaNode make_frozen_set(SchemaNode child);
SchemaNode make_complement(SchemaNode child);
SchemaNode make_record(std::vector<RecordField> fields, std::vector<KeyValueClause> clauses);
SchemaNode make_union(std::vector<SchemaNode> members);
SchemaNode make_intersection(std::vector<SchemaNode> members);
SchemaNode make_object(uint64_t class_index, std::vector<RecordField> fields);
SchemaNode make_constrained(SchemaNode base, std::vector<Constraint> constraints);

SequencePattern make_empty_pattern();
SequencePattern make_item_pattern(SchemaNode node);
SequencePattern make_concat_pattern(std::vector<SequencePattern> parts);
SequencePattern make_alternation_pattern(std::vector<SequencePattern> parts);
SequencePattern make_repeat_pattern(SequencePattern body);

// A pattern read as fixed items followed by an optional repeated tail; every
// other shape is refused (nullopt). Pointers refer into the pattern.
struct FlatPattern {
  std::vector<const SchemaNode*> items;
  const SchemaNode* tail = nullptr;
};
std::optional<FlatPattern> flatten_pattern(const SequencePattern& pattern);

}  // namespace tarmelix::schema

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using schema::NodeKind;
using schema::NO_NODE_SLOT;
using schema::SequenceKind;
using schema::PatternKind;
using schema::ConstraintKind;
using schema::Constraint;
using schema::SchemaNode;
using schema::RecordField;
using schema::KeyValueClause;
using schema::SequencePattern;
using schema::DefinitionTable;
using schema::make_leaf;
using schema::make_literal;
using schema::make_instance;
using schema::make_definition_ref;
using schema::make_recursion_variable;
using schema::make_sequence;
using schema::make_set;
using schema::make_frozen_set;
using schema::make_complement;
using schema::make_record;
using schema::make_union;
using schema::make_intersection;
using schema::make_object;
using schema::make_constrained;
using schema::make_empty_pattern;
using schema::make_item_pattern;
using schema::make_concat_pattern;
using schema::make_alternation_pattern;
using schema::make_repeat_pattern;
using schema::FlatPattern;
using schema::flatten_pattern;
}  // namespace tarmelix
