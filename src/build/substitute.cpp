#include "build/substitute.h"

namespace tarmelix {

SchemaNode substitute_recursion_variable(const SchemaNode& node, uint64_t variable,
                                         uint64_t definition) {
  switch (node.kind) {
    case NodeKind::RecursionVariable:
      return node.index == variable ? make_definition_ref(definition) : node;
    case NodeKind::Sequence:
      return make_sequence(node.sequence_kind,
                           substitute_in_pattern(*node.pattern, variable, definition));
    case NodeKind::Set:
      return make_set(substitute_recursion_variable(*node.child, variable, definition));
    case NodeKind::FrozenSet:
      return make_frozen_set(substitute_recursion_variable(*node.child, variable, definition));
    case NodeKind::Complement:
      return make_complement(substitute_recursion_variable(*node.child, variable, definition));
    case NodeKind::Record: {
      std::vector<RecordField> fields = substitute_in_fields(node.fields, variable, definition);
      std::vector<KeyValueClause> clauses;
      clauses.reserve(node.clauses.size());
      for (const KeyValueClause& c : node.clauses) {
        SchemaNode key = substitute_recursion_variable(c.key, variable, definition);
        SchemaNode value = substitute_recursion_variable(c.value, variable, definition);
        clauses.push_back(KeyValueClause{std::move(key), std::move(value)});
      }
      return make_record(std::move(fields), std::move(clauses));
    }
    case NodeKind::Union:
      return make_union(substitute_in_nodes(node.members, variable, definition));
    case NodeKind::Intersection:
      return make_intersection(substitute_in_nodes(node.members, variable, definition));
    case NodeKind::Object:
      return make_object(node.index, substitute_in_fields(node.fields, variable, definition));
    case NodeKind::Constrained:
      return make_constrained(substitute_recursion_variable(*node.child, variable, definition),
                              node.constraints);
    case NodeKind::DefinitionRef:
    case NodeKind::Anything:
    case NodeKind::Any:
    case NodeKind::Nothing:
    case NodeKind::NoneValue:
    case NodeKind::Bool:
    case NodeKind::Int:
    case NodeKind::Float:
    case NodeKind::Str:
    case NodeKind::Bytes:
    case NodeKind::Literal:
    case NodeKind::Instance:
      return node;
  }
  return node;
}

SequencePattern substitute_in_pattern(const SequencePattern& pattern, uint64_t variable,
                                      uint64_t definition) {
  switch (pattern.kind) {
    case PatternKind::Empty:
      return make_empty_pattern();
    case PatternKind::Item:
      return make_item_pattern(substitute_recursion_variable(*pattern.node, variable, definition));
    case PatternKind::Concat:
    case PatternKind::Alternation: {
      std::vector<SequencePattern> parts;
      parts.reserve(pattern.parts.size());
      for (const SequencePattern& part : pattern.parts)
        parts.push_back(substitute_in_pattern(part, variable, definition));
      return pattern.kind == PatternKind::Concat ? make_concat_pattern(std::move(parts))
                                                 : make_alternation_pattern(std::move(parts));
    }
    case PatternKind::Repeat:
      return make_repeat_pattern(substitute_in_pattern(*pattern.body, variable, definition));
  }
  return make_empty_pattern();
}

std::vector<RecordField> substitute_in_fields(const std::vector<RecordField>& fields,
                                              uint64_t variable, uint64_t definition) {
  std::vector<RecordField> out;
  out.reserve(fields.size());
  for (const RecordField& f : fields)
    out.push_back(
        RecordField{f.name, substitute_recursion_variable(f.node, variable, definition), f.required});
  return out;
}

std::vector<SchemaNode> substitute_in_nodes(const std::vector<SchemaNode>& nodes, uint64_t variable,
                                            uint64_t definition) {
  std::vector<SchemaNode> out;
  out.reserve(nodes.size());
  for (const SchemaNode& n : nodes)
    out.push_back(substitute_recursion_variable(n, variable, definition));
  return out;
}

}  // namespace tarmelix
