// Node counts, nesting depths and the direct-children enumeration.
#include <gtest/gtest.h>

#include "schema/measure.h"
#include "schema/node.h"
#include "trees.h"

namespace tarmelix {
namespace {

using namespace tarmelix::testing;

struct MeasureCase {
  const char* name;
  SchemaNode (*make)();
  uint64_t nodes;
  uint64_t depth;
  friend void PrintTo(const MeasureCase& c, std::ostream* os) { *os << c.name; }
};

class Measures : public ::testing::TestWithParam<MeasureCase> {};

TEST_P(Measures, CountAndDepth) {
  SchemaNode n = GetParam().make();
  EXPECT_EQ(count_nodes(n), GetParam().nodes);
  EXPECT_EQ(node_depth(n), GetParam().depth);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, Measures,
    ::testing::Values(
        MeasureCase{"Int", [] { return int_node(); }, 1, 1},
        MeasureCase{"ListOfInt", [] { return list_of(int_node()); }, 2, 3},
        MeasureCase{"TupleIntStr", [] { return tuple_of({int_node(), str_node()}); }, 3, 3},
        MeasureCase{"TupleIntStrEllipsis",
                    [] { return tuple_of({int_node()}, str_node()); }, 3, 4},
        MeasureCase{"ListOfListOfInt", [] { return list_of(list_of(int_node())); }, 3, 5},
        MeasureCase{"IntTwoConstraints",
                    [] { return constrained(int_node(), {min_len(1), max_len(2)}); }, 4, 2},
        MeasureCase{"IntThreeConstraints",
                    [] { return constrained(int_node(), {min_len(1), max_len(2), min_len(3)}); },
                    5, 2},
        MeasureCase{"DictStrInt", [] { return dict_of(str_node(), int_node()); }, 3, 2},
        MeasureCase{"EmptyTuple", [] { return tuple_of({}); }, 1, 2},
        MeasureCase{"EmptyRecord", [] { return make_record({}, {}); }, 1, 1},
        MeasureCase{"DefinitionRefNotFollowed", [] { return make_definition_ref(3); }, 1, 1},
        MeasureCase{"ClauseKeyAndValueCount",
                    [] {
                      std::vector<RecordField> f;
                      f.push_back(field("a", list_of(int_node()), false));
                      std::vector<KeyValueClause> c;
                      c.push_back({str_node(), make_set(int_node())});
                      return make_record(std::move(f), std::move(c));
                    },
                    6, 4},
        MeasureCase{"ObjectFields",
                    [] {
                      std::vector<RecordField> f;
                      f.push_back(field("x", int_node()));
                      f.push_back(field("y", make_complement(str_node())));
                      return make_object(0, std::move(f));
                    },
                    4, 3},
        // Any pattern shape is measured: nested Repeats and an Alternation add levels.
        MeasureCase{"NestedRepeat",
                    [] {
                      return make_sequence(SequenceKind::List,
                                           make_repeat_pattern(repeat_item(int_node())));
                    },
                    2, 4},
        MeasureCase{"AlternationInConcat",
                    [] {
                      std::vector<SequencePattern> alt;
                      alt.push_back(item(int_node()));
                      alt.push_back(repeat_item(str_node()));
                      std::vector<SequencePattern> parts;
                      parts.push_back(make_empty_pattern());
                      parts.push_back(make_alternation_pattern(std::move(alt)));
                      return make_sequence(SequenceKind::Tuple,
                                           make_concat_pattern(std::move(parts)));
                    },
                    3, 5},
        MeasureCase{"UnionOfMixedDepths",
                    [] { return make_union({int_node(), list_of(list_of(int_node())), str_node()}); },
                    6, 6}),
    [](const ::testing::TestParamInfo<MeasureCase>& info) { return std::string(info.param.name); });

std::vector<const SchemaNode*> drain(NodeChildren it) {
  std::vector<const SchemaNode*> out;
  while (const SchemaNode* c = it.next()) out.push_back(c);
  EXPECT_EQ(it.next(), nullptr);  // stays exhausted
  return out;
}

TEST(NodeChildren, RecordFieldsThenEachClauseKeyAndValue) {
  std::vector<RecordField> f;
  f.push_back(field("a", make_literal(1)));
  f.push_back(field("b", make_literal(2)));
  std::vector<KeyValueClause> c;
  c.push_back({make_literal(3), make_literal(4)});
  c.push_back({make_literal(5), make_literal(6)});
  SchemaNode rec = make_record(std::move(f), std::move(c));
  auto kids = drain(node_children(rec));
  ASSERT_EQ(kids.size(), 6u);
  EXPECT_EQ(kids[0], &rec.fields[0].node);
  EXPECT_EQ(kids[1], &rec.fields[1].node);
  EXPECT_EQ(kids[2], &rec.clauses[0].key);
  EXPECT_EQ(kids[3], &rec.clauses[0].value);
  EXPECT_EQ(kids[4], &rec.clauses[1].key);
  EXPECT_EQ(kids[5], &rec.clauses[1].value);
}

TEST(NodeChildren, SequenceItemsDepthFirstLeftToRight) {
  std::vector<SequencePattern> alt;
  alt.push_back(item(make_literal(2)));
  alt.push_back(make_repeat_pattern(make_repeat_pattern(item(make_literal(3)))));
  std::vector<SequencePattern> parts;
  parts.push_back(item(make_literal(1)));
  parts.push_back(make_empty_pattern());
  parts.push_back(make_alternation_pattern(std::move(alt)));
  parts.push_back(repeat_item(make_literal(4)));
  SchemaNode seq = make_sequence(SequenceKind::Tuple, make_concat_pattern(std::move(parts)));
  std::vector<uint64_t> order;
  for (const SchemaNode* c : drain(node_children(seq))) order.push_back(c->index);
  EXPECT_EQ(order, (std::vector<uint64_t>{1, 2, 3, 4}));
}

TEST(NodeChildren, LeavesAndReferencesHaveNone) {
  for (NodeKind k : {NodeKind::Anything, NodeKind::Bytes}) EXPECT_TRUE(drain(node_children(leaf(k))).empty());
  EXPECT_TRUE(drain(node_children(make_definition_ref(0))).empty());
  EXPECT_TRUE(drain(node_children(make_recursion_variable(0))).empty());
  EXPECT_TRUE(drain(node_children(make_instance(0))).empty());
}

TEST(NodeChildren, MembersChildAndBase) {
  SchemaNode u = make_union({make_literal(1), make_literal(2)});
  auto members = drain(node_children(u));
  ASSERT_EQ(members.size(), 2u);
  EXPECT_EQ(members[1], &u.members[1]);
  SchemaNode c = constrained(make_literal(8), {min_len(1)});
  auto base = drain(node_children(c));
  ASSERT_EQ(base.size(), 1u);
  EXPECT_EQ(base[0]->index, 8u);
}

}  // namespace
}  // namespace tarmelix
