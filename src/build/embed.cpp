#include "build/embed.h"

namespace tarmelix {

namespace {

uint64_t pool_index(uint64_t index, const IndexRemap& remap) {
  return index < remap.pool_indices.size() ? remap.pool_indices[index] : index;
}

}  // namespace

SchemaNode remap_node(const SchemaNode& node, const IndexRemap& remap) {
  switch (node.kind) {
    case NodeKind::Literal:
      return make_literal(pool_index(node.index, remap));
    case NodeKind::Instance:
      return make_instance(pool_index(node.index, remap));
    case NodeKind::Object:
      return make_object(pool_index(node.index, remap), remap_fields(node.fields, remap));
    case NodeKind::Constrained: {
      SchemaNode base = remap_node(*node.child, remap);
      std::vector<Constraint> constraints = node.constraints;
      for (Constraint& c : constraints) {
        switch (c.kind) {
          case ConstraintKind::Ge:
          case ConstraintKind::Gt:
          case ConstraintKind::Le:
          case ConstraintKind::Lt:
          case ConstraintKind::MultipleOf:
          case ConstraintKind::Predicate:
            c.value = pool_index(c.value, remap);
            break;
          case ConstraintKind::MinLen:
          case ConstraintKind::MaxLen:
          case ConstraintKind::Regex:
            break;
        }
      }
      return make_constrained(std::move(base), std::move(constraints));
    }
    case NodeKind::DefinitionRef:
      return make_definition_ref(node.index + remap.definition_offset);
    case NodeKind::Sequence:
      return make_sequence(node.sequence_kind, remap_pattern(*node.pattern, remap));
    case NodeKind::Set:
      return make_set(remap_node(*node.child, remap));
    case NodeKind::FrozenSet:
      return make_frozen_set(remap_node(*node.child, remap));
    case NodeKind::Complement:
      return make_complement(remap_node(*node.child, remap));
    case NodeKind::Record: {
      std::vector<RecordField> fields = remap_fields(node.fields, remap);
      std::vector<KeyValueClause> clauses;
      clauses.reserve(node.clauses.size());
      for (const KeyValueClause& c : node.clauses) {
        SchemaNode key = remap_node(c.key, remap);
        SchemaNode value = remap_node(c.value, remap);
        clauses.push_back(KeyValueClause{std::move(key), std::move(value)});
      }
      return make_record(std::move(fields), std::move(clauses));
    }
    case NodeKind::Union:
      return make_union(remap_nodes(node.members, remap));
    case NodeKind::Intersection:
      return make_intersection(remap_nodes(node.members, remap));
    case NodeKind::Anything:
    case NodeKind::Any:
    case NodeKind::Nothing:
    case NodeKind::NoneValue:
    case NodeKind::Bool:
    case NodeKind::Int:
    case NodeKind::Float:
    case NodeKind::Str:
    case NodeKind::Bytes:
    case NodeKind::RecursionVariable:
      return node;
  }
  return node;
}

SequencePattern remap_pattern(const SequencePattern& pattern, const IndexRemap& remap) {
  switch (pattern.kind) {
    case PatternKind::Empty:
      return make_empty_pattern();
    case PatternKind::Item:
      return make_item_pattern(remap_node(*pattern.node, remap));
    case PatternKind::Concat:
    case PatternKind::Alternation: {
      std::vector<SequencePattern> parts;
      parts.reserve(pattern.parts.size());
      for (const SequencePattern& part : pattern.parts) parts.push_back(remap_pattern(part, remap));
      return pattern.kind == PatternKind::Concat ? make_concat_pattern(std::move(parts))
                                                 : make_alternation_pattern(std::move(parts));
    }
    case PatternKind::Repeat:
      return make_repeat_pattern(remap_pattern(*pattern.body, remap));
  }
  return make_empty_pattern();
}

std::vector<RecordField> remap_fields(const std::vector<RecordField>& fields,
                                      const IndexRemap& remap) {
  std::vector<RecordField> out;
  out.reserve(fields.size());
  for (const RecordField& f : fields)
    out.push_back(RecordField{f.name, remap_node(f.node, remap), f.required});
  return out;
}

std::vector<SchemaNode> remap_nodes(const std::vector<SchemaNode>& nodes, const IndexRemap& remap) {
  std::vector<SchemaNode> out;
  out.reserve(nodes.size());
  for (const SchemaNode& n : nodes) out.push_back(remap_node(n, remap));
  return out;
}

SchemaNode embed_validator(const ValidatorCore& core, ConstantsPool& pool,
                           DefinitionTable& definitions) {
  IndexRemap remap;
  remap.pool_indices = intern_constants(pool, core.constants);
  remap.definition_offset = definitions.size();
  definitions.reserve(definitions.size() + core.definitions.size());
  for (const SchemaNode& d : core.definitions) definitions.push_back(remap_node(d, remap));
  return remap_node(core.root, remap);
}

}  // namespace tarmelix
