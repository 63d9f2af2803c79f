// A description must fit the fixed slots of ParsedArgs: one made at run time
// with too many parameters faults instead of letting a parse overrun them.
#include <gtest/gtest.h>

#include <array>

#include "py/args.h"

namespace tarmelix::py {
namespace {

constexpr std::array<const char*, 2> kTwo = {"a", "b"};
constexpr std::array<const char*, 3> kThree = {"c", "d", "e"};

// The largest description that fits is usable in a constant expression.
constexpr FunctionDesc kFull{"full()", kTwo, std::span(kThree).first(2)};
static_assert(kFull.positional.size() + kFull.keyword_only.size() == kMaxParameters);

TEST(FunctionDesc, TooManyParametersFault) {
  std::span<const char* const> keyword_only = kThree;
  EXPECT_THROW(FunctionDesc("f()", kTwo, keyword_only), Fault);
}

TEST(FunctionDesc, FullDescriptionParsesEverySlot) {
  Ref a = Ref::steal(PyLong_FromLong(1));
  Ref b = Ref::steal(PyLong_FromLong(2));
  Ref c = Ref::steal(PyLong_FromLong(3));
  Ref names = Ref::steal(Py_BuildValue("(s)", "d"));
  ASSERT_TRUE(a && b && c && names);
  PyObject* args[3] = {a.get(), b.get(), c.get()};
  ParsedArgs parsed;
  ASSERT_TRUE(parse_fastcall(kFull, args, 2, names.get(), parsed));
  EXPECT_EQ(parsed.values[0], a.get());
  EXPECT_EQ(parsed.values[1], b.get());
  EXPECT_EQ(parsed.values[2], nullptr);
  EXPECT_EQ(parsed.values[3], c.get());
}

}  // namespace
}  // namespace tarmelix::py
