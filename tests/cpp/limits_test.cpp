// check_limits: each limit is inclusive, one past it is refused with its exact
// ValueError, and depth is checked before definitions before size.
#include <gtest/gtest.h>

#include <string>

#include "py/ref.h"
#include "schema/core.h"
#include "schema/measure.h"
#include "schema/order.h"
#include "trees.h"

namespace tarmelix {
namespace {

using namespace tarmelix::testing;

std::string nesting_message(uint64_t depth) {
  return "schema nesting is too deep: this validator reaches " + std::to_string(depth) +
         " levels of nesting, past the limit of 128. A validator this deep comes from building "
         "in an unbounded loop; checking it would risk a native stack overflow. Express "
         "structural recursion with recursive(...) instead of nesting schemas.";
}
std::string definitions_message(uint64_t count) {
  return "schema holds too many recursive definitions: this validator has " +
         std::to_string(count) +
         " of them, past the limit of 128. A validator with this many comes from chaining "
         "recursive schemas in an unbounded loop; rendering or deciding it would risk a native "
         "stack overflow.";
}
std::string size_message(uint64_t nodes) {
  return "schema is too large: this validator spans " + std::to_string(nodes) +
         " nodes, past the limit of 100000. A schema this large comes from combining a validator "
         "with itself in an unbounded loop, which doubles its size each step; building it would "
         "exhaust memory.";
}

// The pending error as "TypeName: message", cleared; empty when none is set.
std::string take_error() {
  py::Ref exc = py::Ref::steal(PyErr_GetRaisedException());
  if (!exc) return {};
  py::Ref text = py::Ref::steal(PyObject_Str(exc.get()));
  const char* utf8 = text ? PyUnicode_AsUTF8(text.get()) : nullptr;
  return std::string(Py_TYPE(exc.get())->tp_name) + ": " + (utf8 ? utf8 : "<unprintable>");
}

DefinitionTable definitions_of(uint64_t count, const SchemaNode& each = int_node()) {
  return DefinitionTable(count, each);
}

struct LimitCase {
  const char* name;
  SchemaNode (*root)();
  DefinitionTable (*definitions)();
  std::string (*error)();  // nullptr: accepted
  friend void PrintTo(const LimitCase& c, std::ostream* os) { *os << c.name; }
};

class Limits : public ::testing::TestWithParam<LimitCase> {};

TEST_P(Limits, AcceptOrRefuseWithMessage) {
  const LimitCase& c = GetParam();
  SchemaNode root = c.root();
  DefinitionTable defs = c.definitions();
  const SchemaNode expected_root = root;
  const size_t expected_defs = defs.size();
  auto core = check_limits(std::move(root), {}, std::move(defs));
  if (c.error == nullptr) {
    ASSERT_TRUE(core) << take_error();
    EXPECT_TRUE(same_node(core->root, expected_root));
    EXPECT_EQ(core->definitions.size(), expected_defs);
    EXPECT_EQ(core->walk_plan_state.load(), WalkPlanState::NotBuilt);
    EXPECT_EQ(PyErr_Occurred(), nullptr);
  } else {
    EXPECT_FALSE(core);
    EXPECT_EQ(take_error(), "ValueError: " + c.error());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, Limits,
    ::testing::Values(
        LimitCase{"DepthAtLimit", [] { return nested(127); }, [] { return DefinitionTable{}; },
                  nullptr},
        LimitCase{"DepthPastLimit", [] { return nested(128); }, [] { return DefinitionTable{}; },
                  [] { return nesting_message(129); }},
        // A shallow root does not hide a deep definition.
        LimitCase{"DeepDefinitionBehindShallowRoot", [] { return make_definition_ref(0); },
                  [] { return definitions_of(1, nested(128)); },
                  [] { return nesting_message(129); }},
        LimitCase{"DeepestOfAllIsReported", [] { return nested(140); },
                  [] {
                    DefinitionTable d;
                    d.push_back(nested(200));
                    d.push_back(nested(130));
                    return d;
                  },
                  [] { return nesting_message(201); }},
        // Pattern levels count as depth: list[...] adds two levels a step.
        LimitCase{"SequenceLevelsCount",
                  [] {
                    SchemaNode n = nested(1);  // depth 2
                    for (int i = 0; i < 63; ++i) n = list_of(std::move(n));
                    return n;  // depth 2 + 2 * 63 = 128
                  },
                  [] { return DefinitionTable{}; }, nullptr},
        LimitCase{"SequenceLevelsPastLimit",
                  [] {
                    SchemaNode n = int_node();
                    for (int i = 0; i < 64; ++i) n = list_of(std::move(n));
                    return n;  // depth 1 + 2 * 64 = 129
                  },
                  [] { return DefinitionTable{}; }, [] { return nesting_message(129); }},
        LimitCase{"DefinitionsAtLimit", [] { return make_definition_ref(127); },
                  [] { return definitions_of(128); }, nullptr},
        LimitCase{"DefinitionsPastLimit", [] { return make_definition_ref(0); },
                  [] { return definitions_of(129); }, [] { return definitions_message(129); }},
        LimitCase{"SizeAtLimit", [] { return sized(100000); }, [] { return DefinitionTable{}; },
                  nullptr},
        LimitCase{"SizePastLimit", [] { return sized(100001); }, [] { return DefinitionTable{}; },
                  [] { return size_message(100001); }},
        // The node count sums the root and every definition; constraints count.
        LimitCase{"SizeSumsDefinitionsAtLimit", [] { return sized(50000); },
                  [] {
                    DefinitionTable d;
                    d.push_back(sized(49997));
                    d.push_back(constrained(int_node(), {min_len(1)}));
                    return d;
                  },
                  nullptr},
        LimitCase{"SizeSumsDefinitionsPastLimit", [] { return sized(50000); },
                  [] {
                    DefinitionTable d;
                    d.push_back(sized(49997));
                    d.push_back(constrained(int_node(), {min_len(1), max_len(2)}));
                    return d;
                  },
                  [] { return size_message(100001); }},
        LimitCase{"DepthBeforeDefinitionsAndSize", [] { return sized(100001); },
                  [] {
                    DefinitionTable d = definitions_of(129);
                    d.push_back(nested(129));
                    return d;
                  },
                  [] { return nesting_message(130); }},
        LimitCase{"DefinitionsBeforeSize", [] { return sized(100001); },
                  [] { return definitions_of(129); }, [] { return definitions_message(129); }},
        LimitCase{"AllAtLimitTogether", [] { return sized(99999 - 127 - 128 + 1); },
                  [] {
                    DefinitionTable d = definitions_of(127);
                    d.push_back(nested(127));
                    return d;
                  },
                  nullptr}),
    [](const ::testing::TestParamInfo<LimitCase>& info) { return std::string(info.param.name); });

TEST(Limits, ConstantsAreKeptOnSuccessAndReleasedOnRefusal) {
  py::Ref object = py::Ref::steal(PyList_New(0));
  ASSERT_TRUE(object);
  const Py_ssize_t before = Py_REFCNT(object.get());
  {
    auto core = check_limits(int_node(), Constants{object}, {});
    ASSERT_TRUE(core);
    ASSERT_EQ(core->constants.size(), 1u);
    EXPECT_EQ(core->constants[0].get(), object.get());
    EXPECT_EQ(Py_REFCNT(object.get()), before + 1);
  }
  EXPECT_EQ(Py_REFCNT(object.get()), before);
  auto refused = check_limits(nested(200), Constants{object, object}, definitions_of(3));
  EXPECT_FALSE(refused);
  EXPECT_EQ(take_error(), "ValueError: " + nesting_message(201));
  EXPECT_EQ(Py_REFCNT(object.get()), before);
}

TEST(Limits, CopiedCoreSharesConstantsAndStartsUnbuilt) {
  py::Ref object = py::Ref::steal(PyLong_FromLong(123456789));
  auto core = check_limits(list_of(int_node()), Constants{object}, definitions_of(2));
  ASSERT_TRUE(core);
  const Py_ssize_t held = Py_REFCNT(object.get());
  ValidatorCore copy(*core);
  EXPECT_EQ(Py_REFCNT(object.get()), held + 1);
  EXPECT_EQ(copy.constants[0].get(), object.get());
  EXPECT_TRUE(same_node(copy.root, core->root));
  EXPECT_NE(copy.root.pattern.get(), core->root.pattern.get());
  EXPECT_EQ(copy.definitions.size(), 2u);
  EXPECT_EQ(copy.walk_plan_state.load(), WalkPlanState::NotBuilt);
}

}  // namespace
}  // namespace tarmelix
