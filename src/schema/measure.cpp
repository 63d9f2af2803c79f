#include "schema/measure.h"

#include <algorithm>

#include "py/stack.h"

namespace tarmelix::schema {

NodeChildren::NodeChildren(const SchemaNode& node) {
  switch (node.kind) {
    case NodeKind::Sequence:
      push_pattern(*node.pattern);
      break;
    case NodeKind::Set:
    case NodeKind::FrozenSet:
    case NodeKind::Complement:
    case NodeKind::Constrained:
      children_.push_back(node.child.get());
      break;
    case NodeKind::Record:
    case NodeKind::Object:
      for (const RecordField& f : node.fields) children_.push_back(&f.node);
      for (const KeyValueClause& c : node.clauses) {
        children_.push_back(&c.key);
        children_.push_back(&c.value);
      }
      break;
    case NodeKind::Union:
    case NodeKind::Intersection:
      for (const SchemaNode& m : node.members) children_.push_back(&m);
      break;
    default:
      break;
  }
}

void NodeChildren::push_pattern(const SequencePattern& pattern) {
  py::require_stack_room("measuring a schema");
  switch (pattern.kind) {
    case PatternKind::Empty:
      break;
    case PatternKind::Item:
      children_.push_back(pattern.node.get());
      break;
    case PatternKind::Repeat:
      push_pattern(*pattern.body);
      break;
    case PatternKind::Concat:
    case PatternKind::Alternation:
      for (const SequencePattern& part : pattern.parts) push_pattern(part);
      break;
  }
}

const SchemaNode* NodeChildren::next() {
  return pos_ < children_.size() ? children_[pos_++] : nullptr;
}

NodeChildren node_children(const SchemaNode& node) { return NodeChildren(node); }

uint64_t count_nodes(const SchemaNode& node) {
  py::require_stack_room("measuring a schema");
  uint64_t total = 1;
  if (node.kind == NodeKind::Constrained) total += node.constraints.size();
  NodeChildren it(node);
  while (const SchemaNode* c = it.next()) total += count_nodes(*c);
  return total;
}

uint64_t pattern_depth(const SequencePattern& pattern) {
  py::require_stack_room("measuring a schema");
  switch (pattern.kind) {
    case PatternKind::Empty:
    case PatternKind::Item:
      return 0;
    case PatternKind::Repeat:
      return 1 + pattern_depth(*pattern.body);
    case PatternKind::Concat:
    case PatternKind::Alternation: {
      uint64_t deepest = 0;
      for (const SequencePattern& part : pattern.parts)
        deepest = std::max(deepest, pattern_depth(part));
      return 1 + deepest;
    }
  }
  return 0;
}

uint64_t node_depth(const SchemaNode& node) {
  py::require_stack_room("measuring a schema");
  uint64_t own = 1;
  if (node.kind == NodeKind::Sequence) own += pattern_depth(*node.pattern);
  uint64_t deepest = 0;
  NodeChildren it(node);
  while (const SchemaNode* c = it.next()) deepest = std::max(deepest, node_depth(*c));
  return own + deepest;
}

}  // namespace tarmelix::schema
