// Reasoning over hand-built trees: the rules that need no frontend, the
// native depth cap and records that declare one name twice.
#include <gtest/gtest.h>
#include <pthread.h>

#include <functional>

#include "reasoning/decide.h"
#include "reasoning/emptiness.h"
#include "reasoning/inclusion.h"
#include "schema/order.h"

namespace tarmelix {
namespace {

SchemaNode leaf(NodeKind k) { return make_leaf(k); }
SchemaNode list_of(SchemaNode item) {
  return make_sequence(SequenceKind::List, make_repeat_pattern(make_item_pattern(std::move(item))));
}
SchemaNode tuple_of(std::vector<SchemaNode> items) {
  std::vector<SequencePattern> parts;
  for (auto& i : items) parts.push_back(make_item_pattern(std::move(i)));
  return make_sequence(SequenceKind::Tuple, make_concat_pattern(std::move(parts)));
}
SchemaNode record(std::vector<RecordField> fields) { return make_record(std::move(fields), {}); }
SchemaNode bounded(NodeKind base, std::vector<Constraint> cs) {
  return make_constrained(leaf(base), std::move(cs));
}
Constraint bound(ConstraintKind k, uint64_t index) { return Constraint::with_value(k, index); }

// Pool: 0 -> 5, 1 -> 3, 2 -> 1, 3 -> 2, 4 -> "a", 5 -> 1.5, 6 -> 1.9, 7 -> 0
Constants pool() {
  Constants c;
  for (long v : {5L, 3L, 1L, 2L}) c.push_back(py::Ref::steal(PyLong_FromLong(v)));
  c.push_back(py::Ref::steal(PyUnicode_FromString("a")));
  c.push_back(py::Ref::steal(PyFloat_FromDouble(1.5)));
  c.push_back(py::Ref::steal(PyFloat_FromDouble(1.9)));
  c.push_back(py::Ref::steal(PyLong_FromLong(0)));
  return c;
}

using K = NodeKind;
using C = ConstraintKind;

struct EmptyCase {
  const char* name;
  std::function<SchemaNode()> node;
  bool empty;
};

class Emptiness : public ::testing::TestWithParam<EmptyCase> {};

TEST_P(Emptiness, Decides) {
  const Constants constants = pool();
  // def 0: {'next': def0}; def 1: {'next?': def1}
  DefinitionTable defs;
  defs.push_back(record({{"next", make_definition_ref(0), true}}));
  defs.push_back(record({{"next", make_definition_ref(1), false}}));
  EXPECT_EQ(decide_empty(GetParam().node(), constants, defs), GetParam().empty) << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Emptiness,
    ::testing::Values(
        EmptyCase{"nothing", [] { return leaf(K::Nothing); }, true},
        EmptyCase{"anything", [] { return leaf(K::Anything); }, false},
        EmptyCase{"not anything", [] { return make_complement(leaf(K::Anything)); }, true},
        EmptyCase{"empty union", [] { return make_union({}); }, true},
        EmptyCase{"empty intersection", [] { return make_intersection({}); }, false},
        EmptyCase{"int and str",
                  [] { return make_intersection({leaf(K::Int), leaf(K::Str)}); }, true},
        EmptyCase{"int and bool",
                  [] { return make_intersection({leaf(K::Int), leaf(K::Bool)}); }, false},
        EmptyCase{"list and tuple",
                  [] { return make_intersection({list_of(leaf(K::Int)), tuple_of({})}); }, true},
        EmptyCase{"literal and str",
                  [] { return make_intersection({make_literal(2), leaf(K::Str)}); }, false},
        EmptyCase{"list and not list",
                  [] {
                    return make_intersection(
                        {list_of(leaf(K::Int)), make_complement(list_of(leaf(K::Int)))});
                  },
                  true},
        EmptyCase{"Any and not Any",
                  [] { return make_intersection({leaf(K::Any), make_complement(leaf(K::Any))}); },
                  false},
        EmptyCase{"ge 5 le 3", [] { return bounded(K::Int, {bound(C::Ge, 0), bound(C::Le, 1)}); },
                  true},
        EmptyCase{"ge 3 le 3", [] { return bounded(K::Int, {bound(C::Ge, 1), bound(C::Le, 1)}); },
                  false},
        EmptyCase{"gt 3 le 3", [] { return bounded(K::Int, {bound(C::Gt, 1), bound(C::Le, 1)}); },
                  true},
        EmptyCase{"int gt 1 lt 2",
                  [] { return bounded(K::Int, {bound(C::Gt, 2), bound(C::Lt, 3)}); }, true},
        EmptyCase{"float gt 1 lt 2",
                  [] { return bounded(K::Float, {bound(C::Gt, 2), bound(C::Lt, 3)}); }, false},
        EmptyCase{"int ge 1.5 le 1.9",
                  [] { return bounded(K::Int, {bound(C::Ge, 5), bound(C::Le, 6)}); }, true},
        EmptyCase{"int ge 1 le 1",
                  [] { return bounded(K::Int, {bound(C::Ge, 2), bound(C::Le, 2)}); }, false},
        EmptyCase{"int gt 1 lt 3",
                  [] { return bounded(K::Int, {bound(C::Gt, 2), bound(C::Lt, 1)}); }, false},
        EmptyCase{"str bound", [] { return bounded(K::Int, {bound(C::Ge, 4), bound(C::Le, 7)}); },
                  false},
        EmptyCase{"minlen 5 maxlen 3",
                  [] {
                    return bounded(K::Str, {Constraint::with_value(C::MinLen, 5),
                                            Constraint::with_value(C::MaxLen, 3)});
                  },
                  true},
        EmptyCase{"bounds across members",
                  [] {
                    return make_intersection({bounded(K::Int, {bound(C::Gt, 2)}),
                                              bounded(K::Int, {bound(C::Lt, 3)})});
                  },
                  true},
        EmptyCase{"record requiring itself", [] { return make_definition_ref(0); }, true},
        EmptyCase{"record with optional self", [] { return make_definition_ref(1); }, false},
        EmptyCase{"None or record requiring itself",
                  [] { return make_union({leaf(K::NoneValue), make_definition_ref(0)}); }, false},
        EmptyCase{"optional empty field",
                  [] { return record({{"a", leaf(K::Nothing), false}}); }, false},
        EmptyCase{"tuple with nothing",
                  [] { return tuple_of({leaf(K::Int), leaf(K::Nothing)}); }, true},
        EmptyCase{"list of nothing", [] { return list_of(leaf(K::Nothing)); }, false},
        EmptyCase{"dangling reference", [] { return make_definition_ref(99); }, false}),
    [](const auto& info) {
      std::string n = info.param.name;
      for (char& ch : n)
        if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return n;
    });

struct SubCase {
  const char* name;
  std::function<SchemaNode()> s;
  std::function<SchemaNode()> t;
  bool included;
};

class Inclusion : public ::testing::TestWithParam<SubCase> {};

TEST_P(Inclusion, Decides) {
  const Constants constants = pool();
  // def 0: int | str; defs 1 and 2: list[def] | None, built apart.
  DefinitionTable defs;
  defs.push_back(make_union({leaf(K::Int), leaf(K::Str)}));
  defs.push_back(make_union({list_of(make_definition_ref(1)), leaf(K::NoneValue)}));
  defs.push_back(make_union({list_of(make_definition_ref(2)), leaf(K::NoneValue)}));
  EXPECT_EQ(decide_subtype(GetParam().s(), GetParam().t(), constants, defs), GetParam().included)
      << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, Inclusion,
    ::testing::Values(
        SubCase{"bool int", [] { return leaf(K::Bool); }, [] { return leaf(K::Int); }, true},
        SubCase{"int bool", [] { return leaf(K::Int); }, [] { return leaf(K::Bool); }, false},
        SubCase{"int float", [] { return leaf(K::Int); }, [] { return leaf(K::Float); }, false},
        SubCase{"not int in not bool", [] { return make_complement(leaf(K::Int)); },
                [] { return make_complement(leaf(K::Bool)); }, true},
        SubCase{"list in not str", [] { return list_of(leaf(K::Int)); },
                [] { return make_complement(leaf(K::Str)); }, true},
        SubCase{"Any in anything", [] { return leaf(K::Any); }, [] { return leaf(K::Anything); },
                true},
        SubCase{"int in Any", [] { return leaf(K::Int); }, [] { return leaf(K::Any); }, false},
        SubCase{"list bool in list int", [] { return list_of(leaf(K::Bool)); },
                [] { return list_of(leaf(K::Int)); }, true},
        SubCase{"list in tuple", [] { return list_of(leaf(K::Int)); },
                [] {
                  return make_sequence(SequenceKind::Tuple,
                                       make_repeat_pattern(make_item_pattern(leaf(K::Int))));
                },
                false},
        SubCase{"pair in int tuple", [] { return tuple_of({leaf(K::Int), leaf(K::Int)}); },
                [] {
                  return make_sequence(SequenceKind::Tuple,
                                       make_repeat_pattern(make_item_pattern(leaf(K::Int))));
                },
                true},
        SubCase{"int tuple in pair",
                [] {
                  return make_sequence(SequenceKind::Tuple,
                                       make_repeat_pattern(make_item_pattern(leaf(K::Int))));
                },
                [] { return tuple_of({leaf(K::Int), leaf(K::Int)}); }, false},
        SubCase{"ge 5 in ge 0", [] { return bounded(K::Int, {bound(C::Ge, 0)}); },
                [] { return bounded(K::Int, {bound(C::Ge, 7)}); }, true},
        SubCase{"ge 0 in gt 0", [] { return bounded(K::Int, {bound(C::Ge, 7)}); },
                [] { return bounded(K::Int, {bound(C::Gt, 7)}); }, false},
        SubCase{"ge 0 in int", [] { return bounded(K::Int, {bound(C::Ge, 7)}); },
                [] { return leaf(K::Int); }, true},
        SubCase{"int in ge 0", [] { return leaf(K::Int); },
                [] { return bounded(K::Int, {bound(C::Ge, 7)}); }, false},
        SubCase{"incomparable bounds", [] { return bounded(K::Int, {bound(C::Ge, 4)}); },
                [] { return bounded(K::Int, {bound(C::Ge, 7)}); }, false},
        SubCase{"reference to int|str in int|str", [] { return make_definition_ref(0); },
                [] { return make_union({leaf(K::Int), leaf(K::Str)}); }, false},
        SubCase{"recursive lists built apart", [] { return make_definition_ref(1); },
                [] { return make_definition_ref(2); }, true},
        SubCase{"record in wider record",
                [] { return record({{"a", leaf(K::Int), true}}); },
                [] { return record({{"a", leaf(K::Int), true}, {"b", leaf(K::Str), false}}); },
                true},
        SubCase{"optional against required",
                [] { return record({{"a", leaf(K::Int), false}}); },
                [] { return record({{"a", leaf(K::Int), true}}); }, false},
        SubCase{"open record in closed", [] {
                  return make_record({{"a", leaf(K::Int), true}},
                                     {{leaf(K::Anything), leaf(K::Anything)}});
                },
                [] { return record({{"a", leaf(K::Int), true}}); }, false},
        SubCase{"record in dict", [] { return record({{"a", leaf(K::Int), true}}); },
                [] { return make_record({}, {{leaf(K::Str), leaf(K::Int)}}); }, true},
        SubCase{"record in dict keyed by Any", [] { return record({{"a", leaf(K::Int), true}}); },
                [] { return make_record({}, {{leaf(K::Any), leaf(K::Int)}}); }, false},
        // A name declared twice, the first time required: the supertype
        // admits nothing, so nothing inhabited is proven inside it.
        SubCase{"into a record declaring a twice",
                [] { return record({{"a", leaf(K::Str), true}}); },
                [] {
                  return record({{"a", leaf(K::Int), true}, {"a", leaf(K::Str), false}});
                },
                false},
        SubCase{"record declaring a twice, later wins",
                [] {
                  return record({{"a", leaf(K::Str), false}, {"a", leaf(K::Int), true}});
                },
                [] { return record({{"a", leaf(K::Int), true}}); }, true}),
    [](const auto& info) {
      std::string n = info.param.name;
      for (char& ch : n)
        if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
      return n;
    });

// Lists nested with coprime periods: the unfolded pairs recur only after
// thousands of levels, far past any thread's stack without the depth cap.
DefinitionTable coprime_lists() {
  DefinitionTable defs;
  for (uint64_t d = 0; d < 2; ++d) {
    SchemaNode n = make_definition_ref(d);
    for (int i = 0; i < (d == 0 ? 97 : 101); ++i) n = list_of(std::move(n));
    defs.push_back(std::move(n));
  }
  return defs;
}

// Runs `body` on a thread with a deliberately small stack.
void on_small_stack(void* (*body)(void*), void* arg) {
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  // Sanitizer builds pad every frame; give them room in proportion.
#if defined(__SANITIZE_ADDRESS__)
  pthread_attr_setstacksize(&attr, 8 << 20);
#else
  pthread_attr_setstacksize(&attr, 1 << 20);
#endif
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, &attr, body, arg), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
}

TEST(DepthCap, InclusionAnswersUnprovenInsteadOfOverflowing) {
  struct Job {
    DefinitionTable defs = coprime_lists();
    bool answer = true;
  } job;
  on_small_stack(
      [](void* p) -> void* {
        auto* j = static_cast<Job*>(p);
        static const Constants none;
        j->answer = decide_subtype(make_definition_ref(0), make_definition_ref(1), none, j->defs);
        return nullptr;
      },
      &job);
  EXPECT_FALSE(job.answer);
}

TEST(DepthCap, EmptinessAnswersUnprovenInsteadOfOverflowing) {
  // def i: {'a': def i+1}, the last one nothing: truly empty, but the chain
  // is far deeper than the cap.
  struct Job {
    DefinitionTable defs;
    bool answer = true;
  } job;
  const uint64_t n = 20000;
  for (uint64_t i = 0; i < n; ++i)
    job.defs.push_back(record({{"a", make_definition_ref(i + 1), true}}));
  job.defs.push_back(leaf(K::Nothing));
  on_small_stack(
      [](void* p) -> void* {
        auto* j = static_cast<Job*>(p);
        static const Constants none;
        j->answer = decide_empty(make_definition_ref(0), none, j->defs);
        return nullptr;
      },
      &job);
  EXPECT_FALSE(job.answer);
}

}  // namespace
}  // namespace tarmelix

namespace tarmelix {
namespace {

// def i: tuple[def i+1, def i+1], the last one int: unfolded afresh at every
// reference, so one analysis of def 0 needs far more than the whole budget.
DefinitionTable fan_out() {
  DefinitionTable defs;
  const uint64_t levels = 25;
  for (uint64_t i = 0; i < levels; ++i)
    defs.push_back(tuple_of({make_definition_ref(i + 1), make_definition_ref(i + 1)}));
  defs.push_back(leaf(K::Int));
  return defs;
}

TEST(Budget, AFieldAnalysedAfterExhaustionCountsAsInhabited) {
  const DefinitionTable defs = fan_out();
  const Constants none;
  SchemaNode costly_first = record({{"a", make_definition_ref(0), true}, {"b", leaf(K::Nothing), true}});
  SchemaNode empty_first = record({{"b", leaf(K::Nothing), true}, {"a", make_definition_ref(0), true}});
  EXPECT_FALSE(decide_empty(costly_first, none, defs));
  EXPECT_TRUE(decide_empty(empty_first, none, defs));
}

TEST(Budget, WorkUnderWayFinishesAfterExhaustion) {
  // Analysing the subtype uses the budget up; the object rule still concludes
  // from what it has: the supertype declares no attribute.
  const DefinitionTable defs = fan_out();
  const Constants none;
  SchemaNode s = make_object(0, {{"x", make_definition_ref(0), true}});
  SchemaNode t = make_object(0, {});
  EXPECT_TRUE(decide_subtype(s, t, none, defs));
  // Afterwards nothing is left for a nested question.
  SchemaNode t_attr = make_object(0, {{"x", leaf(K::Anything), true}});
  EXPECT_FALSE(decide_subtype(s, t_attr, none, defs));
  EXPECT_TRUE(decide_subtype(make_object(0, {{"x", leaf(K::Int), true}}), t_attr, none, defs));
}

}  // namespace
}  // namespace tarmelix
