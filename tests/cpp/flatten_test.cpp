// flatten_pattern: the three built sequence shapes read as items plus an
// optional tail; every other shape is refused.
#include <gtest/gtest.h>

#include "schema/node.h"
#include "trees.h"

namespace tarmelix {
namespace {

using namespace tarmelix::testing;

SchemaNode lit(uint64_t i) { return make_literal(i); }

TEST(FlattenPattern, EmptyFixedSequenceHasNoItemsAndNoTail) {
  for (const SequencePattern& p : {make_concat_pattern({}), make_empty_pattern()}) {
    auto flat = flatten_pattern(p);
    ASSERT_TRUE(flat);
    EXPECT_TRUE(flat->items.empty());
    EXPECT_EQ(flat->tail, nullptr);
  }
}

TEST(FlattenPattern, FixedItemsInOrder) {
  std::vector<SequencePattern> parts;
  parts.push_back(item(lit(1)));
  parts.push_back(item(lit(2)));
  parts.push_back(item(lit(3)));
  SequencePattern p = make_concat_pattern(std::move(parts));
  auto flat = flatten_pattern(p);
  ASSERT_TRUE(flat);
  ASSERT_EQ(flat->items.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(flat->items[i], p.parts[i].node.get());  // references into the pattern
    EXPECT_EQ(flat->items[i]->index, i + 1);
  }
  EXPECT_EQ(flat->tail, nullptr);
}

TEST(FlattenPattern, HomogeneousIsTailOnly) {
  SequencePattern p = repeat_item(lit(7));
  auto flat = flatten_pattern(p);
  ASSERT_TRUE(flat);
  EXPECT_TRUE(flat->items.empty());
  ASSERT_NE(flat->tail, nullptr);
  EXPECT_EQ(flat->tail, p.body->node.get());
}

TEST(FlattenPattern, PrefixAndTail) {
  std::vector<SequencePattern> parts;
  parts.push_back(item(lit(1)));
  parts.push_back(item(lit(2)));
  parts.push_back(repeat_item(lit(3)));
  SequencePattern p = make_concat_pattern(std::move(parts));
  auto flat = flatten_pattern(p);
  ASSERT_TRUE(flat);
  ASSERT_EQ(flat->items.size(), 2u);
  EXPECT_EQ(flat->items[0]->index, 1u);
  EXPECT_EQ(flat->items[1]->index, 2u);
  ASSERT_NE(flat->tail, nullptr);
  EXPECT_EQ(flat->tail->index, 3u);
}

TEST(FlattenPattern, SingleItemIsOneFixedItem) {
  SequencePattern p = item(lit(4));
  auto flat = flatten_pattern(p);
  ASSERT_TRUE(flat);
  ASSERT_EQ(flat->items.size(), 1u);
  EXPECT_EQ(flat->items[0]->index, 4u);
  EXPECT_EQ(flat->tail, nullptr);
}

struct RefusedCase {
  const char* name;
  SequencePattern (*make)();
  friend void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }
};

std::vector<SequencePattern> parts_of(std::vector<SequencePattern> v) { return v; }

SequencePattern concat(std::initializer_list<SequencePattern (*)()> makers) {
  std::vector<SequencePattern> parts;
  for (auto m : makers) parts.push_back(m());
  return make_concat_pattern(std::move(parts));
}
SequencePattern a() { return item(lit(1)); }
SequencePattern star_b() { return repeat_item(lit(2)); }
SequencePattern c() { return item(lit(3)); }
SequencePattern empty() { return make_empty_pattern(); }

class FlattenRefused : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(FlattenRefused, IsRefused) { EXPECT_FALSE(flatten_pattern(GetParam().make())); }

INSTANTIATE_TEST_SUITE_P(
    Shapes, FlattenRefused,
    ::testing::Values(
        RefusedCase{"RepeatNotLast", [] { return concat({a, star_b, c}); }},
        RefusedCase{"RepeatFirstThenItem", [] { return concat({star_b, c}); }},
        RefusedCase{"TwoRepeats", [] { return concat({a, star_b, star_b}); }},
        RefusedCase{"RepeatOfConcat", [] { return make_repeat_pattern(concat({a, c})); }},
        RefusedCase{"RepeatOfRepeat", [] { return make_repeat_pattern(star_b()); }},
        RefusedCase{"ConcatHoldingRepeatOfConcat",
                    [] { return concat({a, [] { return make_repeat_pattern(concat({c})); }}); }},
        RefusedCase{"Alternation", [] { return make_alternation_pattern(parts_of({})); }},
        RefusedCase{"AlternationOfItems",
                    [] {
                      std::vector<SequencePattern> p;
                      p.push_back(a());
                      p.push_back(c());
                      return make_alternation_pattern(std::move(p));
                    }},
        RefusedCase{"ConcatHoldingEmpty", [] { return concat({a, empty}); }},
        RefusedCase{"ConcatHoldingAlternation",
                    [] { return concat({a, [] { return make_alternation_pattern({}); }}); }},
        RefusedCase{"NestedConcat", [] { return concat({a, [] { return concat({c}); }}); }}),
    [](const ::testing::TestParamInfo<RefusedCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tarmelix
