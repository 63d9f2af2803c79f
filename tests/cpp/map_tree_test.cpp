// map_tree: every node a tree owns is visited once, before its children, in a
// copy that leaves the original untouched.
#include <gtest/gtest.h>

#include "schema/map_tree.h"
#include "schema/order.h"
#include "trees.h"

namespace tarmelix {
namespace {

using namespace tarmelix::testing;

// One literal under each place a node can hold children, numbered from `base`.
SchemaNode every_shape(uint64_t base) {
  std::vector<SequencePattern> alternatives;
  alternatives.push_back(item(make_literal(base + 1)));
  alternatives.push_back(make_empty_pattern());
  std::vector<SequencePattern> parts;
  parts.push_back(item(make_literal(base + 0)));
  parts.push_back(make_alternation_pattern(std::move(alternatives)));
  parts.push_back(repeat_item(make_literal(base + 2)));
  std::vector<RecordField> fields;
  fields.push_back(field("a", make_literal(base + 3)));
  std::vector<KeyValueClause> clauses;
  clauses.push_back({make_literal(base + 4), make_set(make_literal(base + 5))});
  std::vector<RecordField> object_fields;
  object_fields.push_back(field("b", make_complement(make_literal(base + 6)), false));
  std::vector<SchemaNode> members;
  members.push_back(make_sequence(SequenceKind::Tuple, make_concat_pattern(std::move(parts))));
  members.push_back(make_record(std::move(fields), std::move(clauses)));
  members.push_back(make_object(99, std::move(object_fields)));
  members.push_back(constrained(make_frozen_set(make_literal(base + 7)), {min_len(1)}));
  members.push_back(make_union({make_literal(base + 8)}));
  return make_intersection(std::move(members));
}

TEST(MapTree, VisitsEveryNodeOnceInACopy) {
  const SchemaNode original = every_shape(0);
  SchemaNode mapped = map_tree(original, [](SchemaNode& n) {
    if (n.kind == NodeKind::Literal) n.index += 10;
  });
  EXPECT_TRUE(same_node(mapped, every_shape(10)));
  EXPECT_TRUE(same_node(original, every_shape(0)));
}

TEST(MapTree, ParentBeforeChildrenAndReplacementsVisited) {
  std::vector<NodeKind> order;
  SchemaNode mapped = map_tree(make_set(make_leaf(NodeKind::Int)), [&order](SchemaNode& n) {
    order.push_back(n.kind);
    if (n.kind == NodeKind::Int) n = make_complement(make_leaf(NodeKind::Str));
  });
  EXPECT_EQ(order, (std::vector<NodeKind>{NodeKind::Set, NodeKind::Int, NodeKind::Str}));
  EXPECT_TRUE(same_node(mapped, make_set(make_complement(make_leaf(NodeKind::Str)))));
}

}  // namespace
}  // namespace tarmelix
