#include "reasoning/openness.h"

namespace tarmelix {

SchemaNode set_record_openness(const SchemaNode& node, bool open) {
  switch (node.kind) {
    case NodeKind::Record: {
      if (!node.fields.empty()) {
        std::vector<KeyValueClause> clauses;
        if (open)
          clauses.push_back({make_leaf(NodeKind::Anything), make_leaf(NodeKind::Anything)});
        return make_record(set_fields_openness(node.fields, open), std::move(clauses));
      }
      std::vector<KeyValueClause> clauses;
      clauses.reserve(node.clauses.size());
      for (const KeyValueClause& c : node.clauses)
        clauses.push_back({set_record_openness(c.key, open), set_record_openness(c.value, open)});
      return make_record({}, std::move(clauses));
    }
    case NodeKind::Union:
      return make_union(set_members_openness(node.members, open));
    case NodeKind::Intersection:
      return make_intersection(set_members_openness(node.members, open));
    case NodeKind::Complement:
      return make_complement(set_record_openness(*node.child, open));
    case NodeKind::Set:
      return make_set(set_record_openness(*node.child, open));
    case NodeKind::FrozenSet:
      return make_frozen_set(set_record_openness(*node.child, open));
    case NodeKind::Sequence:
      return make_sequence(node.sequence_kind, set_pattern_openness(*node.pattern, open));
    case NodeKind::Object:
      return make_object(node.index, set_fields_openness(node.fields, open));
    case NodeKind::Constrained:
      return make_constrained(set_record_openness(*node.child, open), node.constraints);
    default:
      // Leaves, literals, classes; a DefinitionRef's definition is rewritten
      // by the caller.
      return node;
  }
}

SequencePattern set_pattern_openness(const SequencePattern& pattern, bool open) {
  switch (pattern.kind) {
    case PatternKind::Empty:
      return make_empty_pattern();
    case PatternKind::Item:
      return make_item_pattern(set_record_openness(*pattern.node, open));
    case PatternKind::Concat:
    case PatternKind::Alternation: {
      std::vector<SequencePattern> parts;
      parts.reserve(pattern.parts.size());
      for (const SequencePattern& p : pattern.parts) parts.push_back(set_pattern_openness(p, open));
      return pattern.kind == PatternKind::Concat ? make_concat_pattern(std::move(parts))
                                                 : make_alternation_pattern(std::move(parts));
    }
    case PatternKind::Repeat:
      return make_repeat_pattern(set_pattern_openness(*pattern.body, open));
  }
  return make_empty_pattern();
}

std::vector<SchemaNode> set_members_openness(const std::vector<SchemaNode>& members, bool open) {
  std::vector<SchemaNode> out;
  out.reserve(members.size());
  for (const SchemaNode& m : members) out.push_back(set_record_openness(m, open));
  return out;
}

std::vector<RecordField> set_fields_openness(const std::vector<RecordField>& fields, bool open) {
  std::vector<RecordField> out;
  out.reserve(fields.size());
  for (const RecordField& f : fields)
    out.push_back({f.name, set_record_openness(f.node, open), f.required});
  return out;
}

}  // namespace tarmelix
