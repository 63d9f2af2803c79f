// The walk plan: what each node contributes, and one build shared by every
// thread that asks for it at once.
#include <gtest/gtest.h>

#include <barrier>
#include <thread>

#include "check/flat_table.h"
#include "check/walk_plan.h"
#include "check/validate.h"
#include "trees.h"

namespace tarmelix {
namespace {

using namespace tarmelix::testing;

py::Ref eval(const char* expression) {
  py::Ref globals = py::Ref::steal(PyDict_New());
  py::Ref value =
      py::Ref::steal(PyRun_String(expression, Py_eval_input, globals.get(), globals.get()));
  if (!value) PyErr_Print();
  return value;
}

// A core whose constants are the given expressions, in order.
ValidatorCore core_of(std::vector<const char*> expressions, SchemaNode root,
                      DefinitionTable definitions = {}) {
  Constants constants;
  for (const char* e : expressions) constants.push_back(eval(e));
  return ValidatorCore(std::move(constants), std::move(definitions), std::move(root));
}

SchemaNode literal_union(std::vector<uint64_t> indexes) {
  std::vector<SchemaNode> members;
  for (uint64_t i : indexes) members.push_back(make_literal(i));
  return make_union(std::move(members));
}

const WalkPlan& built(ValidatorCore& core) {
  ensure_walk_plan(core);
  const WalkPlan* plan = core_walk_plan(core);
  EXPECT_NE(plan, nullptr);
  return *plan;
}

// Tables keyed by bare text are looked up by the hash a str caches, so the
// two must agree for every storage width (and with no str made to get it).
TEST(TextHash, IsTheHashOfTheStrHoldingTheText) {
  for (const char* text : {"", "a", "name", "caf\xc3\xa9", "\xc3\xbf", "\xc4\x80x",
                           "\xe6\x97\xa5\xe6\x9c\xac", "a\xf0\x9f\x98\x80", "\xef\xbf\xbf"}) {
    py::Ref str = py::Ref::steal(PyUnicode_FromString(text));
    ASSERT_TRUE(str) << text;
    EXPECT_EQ(check::text_hash(text), static_cast<uint64_t>(PyObject_Hash(str.get()))) << text;
  }
}

TEST(WalkPlan, LiteralSetsHoldExactIntsAndStrsThatFit) {
  ValidatorCore core = core_of(
      {"1", "'a'", "1.5", "2**70", "'\\ud800'", "True", "-1", "type('I', (int,), {})(7)"},
      literal_union({0, 1, 2, 3, 4, 5, 6, 7}));
  const LiteralSets* sets = find_literal_sets(&built(core), core.root);
  ASSERT_NE(sets, nullptr);
  EXPECT_TRUE(sets->int_values.contains(1));
  EXPECT_TRUE(sets->int_values.contains(static_cast<uint64_t>(-1)));
  EXPECT_FALSE(sets->int_values.contains(7));  // an int subclass
  EXPECT_EQ(sets->int_values.size(), 2u);      // not True, not 2**70
  EXPECT_TRUE(sets->str_values.contains("a"));
  EXPECT_EQ(sets->str_values.size(), 1u);  // not the lone surrogate
}

TEST(WalkPlan, OnlyUnionsOfLiteralsGetSets) {
  std::vector<SchemaNode> outer;
  outer.push_back(literal_union({0, 1}));
  outer.push_back(int_node());
  ValidatorCore core = core_of({"1", "2"}, make_union(std::move(outer)));
  const WalkPlan& plan = built(core);
  EXPECT_EQ(find_literal_sets(&plan, core.root), nullptr);
  const LiteralSets* inner = find_literal_sets(&plan, core.root.members[0]);
  ASSERT_NE(inner, nullptr);
  EXPECT_EQ(inner->int_values.size(), 2u);
  // a literal whose index lies outside the pool spoils the entry
  ValidatorCore stray = core_of({"1"}, literal_union({0, 5}));
  EXPECT_EQ(find_literal_sets(&built(stray), stray.root), nullptr);
}

TEST(WalkPlan, RecordIndexSendsARepeatedNameToItsLastField) {
  std::vector<RecordField> fields;
  fields.push_back(field("a", int_node(), true));
  fields.push_back(field("a", int_node(), false));
  fields.push_back(field("b", str_node(), true));
  ValidatorCore core = core_of({}, make_record(std::move(fields), {}));
  const RecordIndex* index = find_record_index(&built(core), core.root);
  ASSERT_NE(index, nullptr);
  ASSERT_NE(index->field_positions.find("a"), nullptr);
  EXPECT_EQ(*index->field_positions.find("a"), 1u);
  EXPECT_EQ(*index->field_positions.find("b"), 2u);
  EXPECT_EQ(index->required_count, 2u);
  // dict[K, V] declares no field and gets no index
  ValidatorCore open = core_of({}, dict_of(str_node(), int_node()));
  EXPECT_EQ(find_record_index(&built(open), open.root), nullptr);
}

TEST(WalkPlan, PatternsCompiledOncePerTextAndDefinitionsPlanned) {
  auto regex = [](const char* text) {
    return constrained(str_node(), {Constraint::regex(text)});
  };
  std::vector<SchemaNode> members;
  members.push_back(regex("a+"));
  members.push_back(regex("a+"));
  members.push_back(regex("("));  // does not compile: left out
  DefinitionTable definitions;
  definitions.push_back(list_of(regex("b")));
  ValidatorCore core =
      core_of({}, make_intersection(std::move(members)), std::move(definitions));
  const WalkPlan& plan = built(core);
  EXPECT_EQ(plan.compiled_patterns.size(), 2u);
  EXPECT_NE(check::find_compiled_pattern(&plan, "a+"), nullptr);
  EXPECT_NE(check::find_compiled_pattern(&plan, "b"), nullptr);
  EXPECT_EQ(check::find_compiled_pattern(&plan, "("), nullptr);
  EXPECT_EQ(check::find_compiled_pattern(nullptr, "a+"), nullptr);
}

TEST(WalkPlan, ThreadsArrivingTogetherShareOneBuild) {
  constexpr int THREADS = 8;
  for (int round = 0; round < 5; ++round) {
    ValidatorCore core = core_of({"'x'", "'y'"}, list_of(literal_union({0, 1})));
    std::barrier start(THREADS);
    std::vector<const WalkPlan*> seen(THREADS, nullptr);
    std::vector<std::thread> threads;
    PyThreadState* main_state = PyEval_SaveThread();
    for (int t = 0; t < THREADS; ++t) {
      threads.emplace_back([&, t] {
        start.arrive_and_wait();
        PyGILState_STATE gil = PyGILState_Ensure();
        ensure_walk_plan(core);
        seen[t] = core_walk_plan(core);
        PyGILState_Release(gil);
      });
    }
    for (std::thread& t : threads) t.join();
    PyEval_RestoreThread(main_state);
    EXPECT_EQ(core.walk_plan_state.load(), WalkPlanState::Built);
    for (const WalkPlan* p : seen) {
      EXPECT_NE(p, nullptr);
      EXPECT_EQ(p, seen[0]);
    }
    // asking again keeps the same plan
    ensure_walk_plan(core);
    EXPECT_EQ(core_walk_plan(core), seen[0]);
  }
}

TEST(WalkPlan, CopiesStartWithoutAPlan) {
  ValidatorCore core = core_of({"1"}, literal_union({0}));
  built(core);
  ValidatorCore copy(core);
  EXPECT_EQ(copy.walk_plan_state.load(), WalkPlanState::NotBuilt);
  EXPECT_EQ(core_walk_plan(copy), nullptr);
}

}  // namespace
}  // namespace tarmelix
