#include "schema/node.h"

#include "schema/sequence_shape.h"

namespace tarmelix::schema {

SchemaNode make_leaf(NodeKind kind) { return SchemaNode(kind); }

namespace {
SchemaNode indexed(NodeKind kind, uint64_t index) {
  SchemaNode n(kind);
  n.index = index;
  return n;
}
SchemaNode boxed(NodeKind kind, SchemaNode child) {
  SchemaNode n(kind);
  n.child = Box<SchemaNode>(std::move(child));
  return n;
}
}  // namespace

SchemaNode make_literal(uint64_t constant) { return indexed(NodeKind::Literal, constant); }
SchemaNode make_instance(uint64_t class_index) { return indexed(NodeKind::Instance, class_index); }
SchemaNode make_definition_ref(uint64_t definition) {
  return indexed(NodeKind::DefinitionRef, definition);
}
SchemaNode make_recursion_variable(uint64_t variable) {
  return indexed(NodeKind::RecursionVariable, variable);
}

SchemaNode make_sequence(SequenceKind kind, SequencePattern pattern) {
  SchemaNode n(NodeKind::Sequence);
  n.sequence_kind = kind;
  n.pattern = Box<SequencePattern>(std::move(pattern));
  return n;
}

SchemaNode make_set(SchemaNode child) { return boxed(NodeKind::Set, std::move(child)); }
SchemaNode make_frozen_set(SchemaNode child) { return boxed(NodeKind::FrozenSet, std::move(child)); }
SchemaNode make_complement(SchemaNode child) { return boxed(NodeKind::Complement, std::move(child)); }

SchemaNode make_record(std::vector<RecordField> fields, std::vector<KeyValueClause> clauses) {
  SchemaNode n(NodeKind::Record);
  n.fields = std::move(fields);
  n.clauses = std::move(clauses);
  return n;
}

SchemaNode make_union(std::vector<SchemaNode> members) {
  SchemaNode n(NodeKind::Union);
  n.members = std::move(members);
  return n;
}

SchemaNode make_intersection(std::vector<SchemaNode> members) {
  SchemaNode n(NodeKind::Intersection);
  n.members = std::move(members);
  return n;
}

SchemaNode make_object(uint64_t class_index, std::vector<RecordField> fields) {
  SchemaNode n(NodeKind::Object);
  n.index = class_index;
  n.fields = std::move(fields);
  return n;
}

SchemaNode make_constrained(SchemaNode base, std::vector<Constraint> constraints) {
  SchemaNode n = boxed(NodeKind::Constrained, std::move(base));
  n.constraints = std::move(constraints);
  return n;
}

SequencePattern make_empty_pattern() { return SequencePattern{}; }

SequencePattern make_item_pattern(SchemaNode node) {
  SequencePattern p;
  p.kind = PatternKind::Item;
  p.node = Box<SchemaNode>(std::move(node));
  return p;
}

SequencePattern make_concat_pattern(std::vector<SequencePattern> parts) {
  SequencePattern p;
  p.kind = PatternKind::Concat;
  p.parts = std::move(parts);
  return p;
}

SequencePattern make_alternation_pattern(std::vector<SequencePattern> parts) {
  SequencePattern p;
  p.kind = PatternKind::Alternation;
  p.parts = std::move(parts);
  return p;
}

SequencePattern make_repeat_pattern(SequencePattern body) {
  SequencePattern p;
  p.kind = PatternKind::Repeat;
  p.body = Box<SequencePattern>(std::move(body));
  return p;
}

std::optional<FlatPattern> flatten_pattern(const SequencePattern& pattern) {
  std::optional<SequenceShape> shape = read_sequence_shape(pattern);
  if (!shape) return std::nullopt;
  FlatPattern flat;
  flat.items.reserve(shape->fixed);
  for (size_t i = 0; i < shape->fixed; ++i) flat.items.push_back(&shape->item(i));
  flat.tail = shape->tail;
  return flat;
}

}  // namespace tarmelix::schema
