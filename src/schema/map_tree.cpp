#include "schema/map_tree.h"

#include "py/stack.h"

namespace tarmelix::schema {

namespace {

using Visit = std::function<void(SchemaNode&)>;

void rewrite_node(SchemaNode& node, const Visit& visit);

void rewrite_pattern(SequencePattern& pattern, const Visit& visit) {
  py::require_stack_room("rewriting a schema");
  if (pattern.node) rewrite_node(*pattern.node, visit);
  for (SequencePattern& part : pattern.parts) rewrite_pattern(part, visit);
  if (pattern.body) rewrite_pattern(*pattern.body, visit);
}

// Every child a node owns, whatever its kind: the unused ones are empty.
void rewrite_node(SchemaNode& node, const Visit& visit) {
  py::require_stack_room("rewriting a schema");
  visit(node);
  if (node.pattern) rewrite_pattern(*node.pattern, visit);
  if (node.child) rewrite_node(*node.child, visit);
  for (SchemaNode& member : node.members) rewrite_node(member, visit);
  for (RecordField& field : node.fields) rewrite_node(field.node, visit);
  for (KeyValueClause& clause : node.clauses) {
    rewrite_node(clause.key, visit);
    rewrite_node(clause.value, visit);
  }
}

}  // namespace

SchemaNode map_tree(const SchemaNode& node, const std::function<void(SchemaNode&)>& visit) {
  SchemaNode copy = node;
  rewrite_node(copy, visit);
  return copy;
}

}  // namespace tarmelix::schema
