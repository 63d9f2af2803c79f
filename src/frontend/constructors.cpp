#include "frontend/constructors.h"

namespace tarmelix::frontend {

SequencePattern build_fixed_pattern(std::vector<SchemaNode> items) {
  std::vector<SequencePattern> parts;
  parts.reserve(items.size());
  for (SchemaNode& node : items) parts.push_back(make_item_pattern(std::move(node)));
  return make_concat_pattern(std::move(parts));
}

SequencePattern build_repeat_pattern(SchemaNode item) {
  return make_repeat_pattern(make_item_pattern(std::move(item)));
}

SequencePattern build_prefix_repeat_pattern(std::vector<SchemaNode> prefix, SchemaNode tail) {
  std::vector<SequencePattern> parts;
  parts.reserve(prefix.size() + 1);
  for (SchemaNode& node : prefix) parts.push_back(make_item_pattern(std::move(node)));
  parts.push_back(build_repeat_pattern(std::move(tail)));
  return make_concat_pattern(std::move(parts));
}

SchemaNode build_union(std::vector<SchemaNode> members) {
  if (members.empty()) return make_leaf(NodeKind::Nothing);
  return make_union(std::move(members));
}

SchemaNode build_dict_record(SchemaNode key, SchemaNode value) {
  std::vector<KeyValueClause> clauses;
  clauses.push_back(KeyValueClause{std::move(key), std::move(value)});
  return make_record({}, std::move(clauses));
}

}  // namespace tarmelix::frontend
