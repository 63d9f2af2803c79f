// Structural equality, total order and the exact hash input of schema trees.
#include <gtest/gtest.h>

#include "schema/node.h"
#include "schema/order.h"
#include "trees.h"

namespace tarmelix {
namespace {

using namespace tarmelix::testing;

std::string hash_of(const SchemaNode& n) {
  HashSink sink;
  hash_node(n, sink);
  return sink;
}

std::string bytes(std::initializer_list<uint8_t> bs) { return std::string(bs.begin(), bs.end()); }

// One tree touching every kind, every pattern kind, a Regex constraint and
// duplicate field names.
SchemaNode kitchen_sink() {
  std::vector<SequencePattern> alt;
  alt.push_back(make_empty_pattern());
  alt.push_back(item(make_literal(3)));
  std::vector<SequencePattern> parts;
  parts.push_back(item(leaf(NodeKind::Bool)));
  parts.push_back(make_alternation_pattern(std::move(alt)));
  parts.push_back(make_repeat_pattern(make_repeat_pattern(item(leaf(NodeKind::Bytes)))));
  SchemaNode seq = make_sequence(SequenceKind::Tuple, make_concat_pattern(std::move(parts)));

  std::vector<RecordField> fields;
  fields.push_back(field("a", seq, true));
  fields.push_back(field("a", leaf(NodeKind::NoneValue), false));
  std::vector<KeyValueClause> clauses;
  clauses.push_back({str_node(), make_set(leaf(NodeKind::Float))});
  SchemaNode rec = make_record(std::move(fields), std::move(clauses));

  std::vector<RecordField> attrs;
  attrs.push_back(field("x", make_frozen_set(leaf(NodeKind::Any))));
  SchemaNode obj = make_object(11, std::move(attrs));

  SchemaNode con = constrained(str_node(), {Constraint::regex("[a-z]+"), min_len(2),
                                            Constraint::with_value(ConstraintKind::Predicate, 4)});
  return make_union({rec, obj, con, make_intersection({make_instance(6), make_definition_ref(0)}),
                     make_complement(make_recursion_variable(9)), leaf(NodeKind::Nothing)});
}

TEST(NodeCopy, CopyIsSameNodeWithSameHashAndOutlivesSource) {
  SchemaNode copy;
  std::string source_hash;
  {
    SchemaNode source = kitchen_sink();
    copy = source;
    source_hash = hash_of(source);
    EXPECT_TRUE(same_node(copy, source));
    EXPECT_EQ(compare_nodes(copy, source), 0);
    // Deep: the copy owns storage of its own.
    EXPECT_NE(copy.members[0].fields[0].node.pattern.get(),
              source.members[0].fields[0].node.pattern.get());
  }
  EXPECT_EQ(hash_of(copy), source_hash);
  EXPECT_TRUE(same_node(copy, kitchen_sink()));
}

TEST(NodeCopy, DuplicateFieldNamesAreKeptInOrder) {
  SchemaNode rec = kitchen_sink().members[0];
  ASSERT_EQ(rec.fields.size(), 2u);
  EXPECT_EQ(rec.fields[0].name, "a");
  EXPECT_TRUE(rec.fields[0].required);
  EXPECT_EQ(rec.fields[1].name, "a");
  EXPECT_FALSE(rec.fields[1].required);
}

TEST(HashInput, ExactByteStreams) {
  EXPECT_EQ(hash_of(leaf(NodeKind::Anything)), u64le(0));
  EXPECT_EQ(hash_of(make_literal(5)), u64le(9) + u64le(5));

  std::vector<RecordField> fields;
  fields.push_back(field("ab", int_node(), true));
  EXPECT_EQ(hash_of(make_record(std::move(fields), {})),
            u64le(13) + u64le(1) + bytes({'a', 'b', 0xFF}) + u64le(5) + bytes({1}) + u64le(0));

  EXPECT_EQ(hash_of(list_of(int_node())), u64le(10) + u64le(0) + u64le(4) + u64le(1) + u64le(5));
}

TEST(HashInput, ConstrainedAndObjectStreams) {
  // Base first, then the count, then kind and number or text per constraint.
  EXPECT_EQ(hash_of(constrained(str_node(), {min_len(3), Constraint::regex("x")})),
            u64le(19) + u64le(7) + u64le(2) + u64le(4) + u64le(3) + u64le(8) + bytes({'x', 0xFF}));
  std::vector<RecordField> attrs;
  attrs.push_back(field("", leaf(NodeKind::Bool)));
  EXPECT_EQ(hash_of(make_object(2, std::move(attrs))),
            u64le(18) + u64le(2) + u64le(1) + bytes({0xFF}) + u64le(4) + bytes({1}));
}

TEST(HashInput, TextEndMarkerSeparatesFieldNames) {
  // "a" + "bc" and "ab" + "c" must not write the same stream.
  auto two = [](const char* x, const char* y) {
    std::vector<RecordField> f;
    f.push_back(field(x, int_node()));
    f.push_back(field(y, int_node()));
    return make_record(std::move(f), {});
  };
  EXPECT_NE(hash_of(two("a", "bc")), hash_of(two("ab", "c")));
}

TEST(HashInput, MemberOrderMatters) {
  SchemaNode int_str = make_union({int_node(), str_node()});
  SchemaNode str_int = make_union({str_node(), int_node()});
  EXPECT_FALSE(same_node(int_str, str_int));
  EXPECT_NE(hash_of(int_str), hash_of(str_int));
  EXPECT_LT(compare_nodes(int_str, str_int), 0);
}

SchemaNode record_with(bool required) {
  std::vector<RecordField> f;
  f.push_back(field("k", int_node(), required));
  return make_record(std::move(f), {});
}

struct OrderCase {
  const char* name;
  SchemaNode (*less)();
  SchemaNode (*greater)();
  friend void PrintTo(const OrderCase& c, std::ostream* os) { *os << c.name; }
};

class NodeOrder : public ::testing::TestWithParam<OrderCase> {};

// Strict order in both directions, and never same_node.
TEST_P(NodeOrder, LessThenGreater) {
  SchemaNode a = GetParam().less();
  SchemaNode b = GetParam().greater();
  EXPECT_EQ(compare_nodes(a, b), -1);
  EXPECT_EQ(compare_nodes(b, a), 1);
  EXPECT_FALSE(same_node(a, b));
  EXPECT_NE(hash_of(a), hash_of(b));
}

INSTANTIATE_TEST_SUITE_P(
    Rules, NodeOrder,
    ::testing::Values(
        OrderCase{"KindNumberFirst", [] { return leaf(NodeKind::Anything); },
                  [] { return make_literal(0); }},
        OrderCase{"LeafKinds", [] { return int_node(); }, [] { return str_node(); }},
        OrderCase{"ListBeforeTuple", [] { return list_of(int_node()); },
                  [] { return homogeneous(SequenceKind::Tuple, int_node()); }},
        OrderCase{"LiteralByPoolIndex", [] { return make_literal(2); },
                  [] { return make_literal(10); }},
        OrderCase{"IndexUnsigned", [] { return make_instance(1); },
                  [] { return make_instance(UINT64_MAX); }},
        OrderCase{"OptionalFieldFirst", [] { return record_with(false); },
                  [] { return record_with(true); }},
        OrderCase{"ShorterConstraintListFirst", [] { return constrained(str_node(), {min_len(3)}); },
                  [] { return constrained(str_node(), {min_len(3), max_len(5)}); }},
        OrderCase{"MinLenAsNumber", [] { return constrained(str_node(), {min_len(9)}); },
                  [] { return constrained(str_node(), {min_len(10)}); }},
        OrderCase{"ConstraintKindFirst", [] { return constrained(str_node(), {max_len(1)}); },
                  [] { return constrained(str_node(), {Constraint::regex("")}); }},
        OrderCase{"RegexTextBytes",
                  [] { return constrained(str_node(), {Constraint::regex("ab")}); },
                  [] { return constrained(str_node(), {Constraint::regex("b")}); }},
        OrderCase{"RegexShorterPrefixFirst",
                  [] { return constrained(str_node(), {Constraint::regex("a")}); },
                  [] { return constrained(str_node(), {Constraint::regex("ab")}); }},
        OrderCase{"ConstrainedBaseBeforeConstraints",
                  [] { return constrained(int_node(), {min_len(99)}); },
                  [] { return constrained(str_node(), {min_len(1)}); }},
        OrderCase{"FieldNameBytesBeforeNode",
                  [] {
                    std::vector<RecordField> f;
                    f.push_back(field("a", str_node()));
                    return make_record(std::move(f), {});
                  },
                  [] {
                    std::vector<RecordField> f;
                    f.push_back(field("b", int_node()));
                    return make_record(std::move(f), {});
                  }},
        OrderCase{"FieldNameHighBytesUnsigned",
                  [] {
                    std::vector<RecordField> f;
                    f.push_back(field("z", int_node()));
                    return make_record(std::move(f), {});
                  },
                  [] {
                    std::vector<RecordField> f;
                    f.push_back(field("\xc3\xa9", int_node()));
                    return make_record(std::move(f), {});
                  }},
        OrderCase{"FieldsBeforeClauses",
                  [] { return make_record({}, {}); },
                  [] { return dict_of(str_node(), int_node()); }},
        OrderCase{"ClauseKeyThenValue", [] { return dict_of(int_node(), str_node()); },
                  [] { return dict_of(str_node(), int_node()); }},
        OrderCase{"ObjectClassIndexFirst", [] { return make_object(1, {}); },
                  [] {
                    return make_object(2, {});
                  }},
        OrderCase{"PatternKindOrder",
                  [] { return make_sequence(SequenceKind::List, make_concat_pattern({})); },
                  [] { return list_of(int_node()); }},
        OrderCase{"FewerMembersFirst", [] { return make_union({int_node()}); },
                  [] { return make_union({int_node(), int_node()}); }}),
    [](const ::testing::TestParamInfo<OrderCase>& info) { return std::string(info.param.name); });

TEST(NodeOrder, EqualExactlyWhenSame) {
  SchemaNode a = kitchen_sink();
  SchemaNode b = kitchen_sink();
  EXPECT_EQ(compare_nodes(a, b), 0);
  EXPECT_TRUE(same_node(a, b));
  // One flag deep inside makes them differ in all three views.
  b.members[0].fields[1].required = true;
  EXPECT_FALSE(same_node(a, b));
  EXPECT_NE(compare_nodes(a, b), 0);
  EXPECT_NE(hash_of(a), hash_of(b));
}

TEST(ConstraintOrder, RegexComparesTextNotValue) {
  Constraint x = Constraint::regex("p");
  Constraint y = Constraint::regex("p");
  y.value = 42;  // unused for Regex
  EXPECT_TRUE(same_constraint(x, y));
  EXPECT_EQ(compare_constraints(x, y), 0);
}

}  // namespace
}  // namespace tarmelix
