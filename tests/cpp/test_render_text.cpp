// Text operations of rendering and error records, and the annotation text of
// node shapes the frontend cannot produce (out-of-range indexes, refused
// patterns, depths past the limit).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "errors/build_record.h"
#include "errors/error_text.h"
#include "errors/kind_tables.h"
#include "render/render.h"

namespace tarmelix {
namespace {

// Runs `source` and returns the global `value` it defines.
py::Ref python_value(const char* source) {
  py::Ref globals = py::Ref::steal(PyDict_New());
  PyDict_SetItemString(globals.get(), "__builtins__", PyEval_GetBuiltins());
  py::Ref result = py::Ref::steal(PyRun_String(source, Py_file_input, globals.get(), globals.get()));
  if (!result) {
    PyErr_Print();
    ADD_FAILURE() << "python source failed: " << source;
    return {};
  }
  return py::Ref::borrow(PyDict_GetItemString(globals.get(), "value"));
}

// ---- truncate_chars ----

struct TruncateCase {
  std::string text;
  size_t max_chars;
  std::string expected;
};

class Truncate : public ::testing::TestWithParam<TruncateCase> {};

TEST_P(Truncate, CutsByCharacters) {
  EXPECT_EQ(truncate_chars(GetParam().text, GetParam().max_chars), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Truncate,
    ::testing::Values(TruncateCase{"", 0, ""}, TruncateCase{"abc", 3, "abc"},
                      TruncateCase{"abcd", 3, "abc..."}, TruncateCase{"abc", 0, "..."},
                      // two-, three- and four-byte characters count one each
                      TruncateCase{"\xC3\xA9\xC3\xA9\xC3\xA9", 3, "\xC3\xA9\xC3\xA9\xC3\xA9"},
                      TruncateCase{"\xC3\xA9\xC3\xA9\xC3\xA9", 2, "\xC3\xA9\xC3\xA9..."},
                      TruncateCase{"\xE2\x82\xAC" "ab", 1, "\xE2\x82\xAC..."},
                      TruncateCase{"\xF0\x9F\x98\x80\xF0\x9F\x98\x80", 1, "\xF0\x9F\x98\x80..."},
                      TruncateCase{std::string(80, 'x'), 80, std::string(80, 'x')},
                      TruncateCase{std::string(81, 'x'), 80, std::string(80, 'x') + "..."}));

// ---- quote_text ----

struct QuoteCase {
  std::string text;
  std::string expected;
};

class Quote : public ::testing::TestWithParam<QuoteCase> {};

TEST_P(Quote, EscapesAsSpecified) {
  EXPECT_EQ(quote_text(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Characters, Quote,
    ::testing::Values(
        QuoteCase{"", "\"\""}, QuoteCase{"a b", "\"a b\""},
        QuoteCase{"\t\n\r", "\"\\t\\n\\r\""}, QuoteCase{std::string("a\0b", 3), "\"a\\0b\""},
        QuoteCase{"\\d+", "\"\\\\d+\""}, QuoteCase{"say \"hi\"", "\"say \\\"hi\\\"\""},
        QuoteCase{"it's", "\"it's\""},
        QuoteCase{"\x07\x7F", "\"\\u{7}\\u{7f}\""},
        QuoteCase{"\xC3\xA9", "\"\xC3\xA9\""},                    // é: printable letter
        QuoteCase{"e\xCC\x81", "\"e\\u{301}\""},                  // combining acute (Mn)
        QuoteCase{"\xE0\xA6\xBE", "\"\\u{9be}\""},                // Mc, but Grapheme_Extend
        QuoteCase{"\xEF\xBE\x9E", "\"\\u{ff9e}\""},               // Lm, but Grapheme_Extend
        QuoteCase{"\xE0\xA4\x83", "\"\xE0\xA4\x83\""},            // plain Mc stays
        QuoteCase{"\xC2\xA0", "\"\\u{a0}\""},                     // no-break space (Zs)
        QuoteCase{"\xE2\x80\x8B", "\"\\u{200b}\""},               // Cf
        QuoteCase{"\xE2\x80\xA8\xE2\x80\xA9", "\"\\u{2028}\\u{2029}\""},  // Zl, Zp
        QuoteCase{"\xEE\x80\x80", "\"\\u{e000}\""},               // private use
        QuoteCase{"\xCD\xB8", "\"\\u{378}\""},                    // unassigned
        QuoteCase{"\xF3\xA0\x80\xA0", "\"\\u{e0020}\""},          // tag space
        QuoteCase{"\xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\""}));  // emoji stays

// ---- path text and error lines ----

struct LineCase {
  Path path;
  std::string expected_path;
  std::string expected_line;
};

class ErrorLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(ErrorLine, WritesPathThenRecord) {
  const LineCase& c = GetParam();
  EXPECT_EQ(errors::path_text(c.path), c.expected_path);
  EXPECT_EQ(format_error_line(ErrorRecord{c.path, "int", "'x'", "int_type"}), c.expected_line);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ErrorLine,
    ::testing::Values(
        LineCase{{}, "", "expected int, got 'x' [int_type]"},
        LineCase{{std::string("a"), uint64_t{0}, std::string("b")}, "a[0].b",
                 "at a[0].b: expected int, got 'x' [int_type]"},
        LineCase{{uint64_t{0}, uint64_t{1}}, "[0][1]", "at [0][1]: expected int, got 'x' [int_type]"},
        LineCase{{std::string("")}, "", "expected int, got 'x' [int_type]"},
        LineCase{{std::string(""), std::string("k")}, "k", "at k: expected int, got 'x' [int_type]"},
        LineCase{{std::string("a b.c"), uint64_t{12}}, "a b.c[12]",
                 "at a b.c[12]: expected int, got 'x' [int_type]"}));

TEST(ErrorRecords, KeyRecordExtendsACopyOfThePath) {
  const WalkPath root;
  const WalkPath outer = root.key("outer");
  const WalkPath path = outer.index(3);
  ErrorRecord r = make_key_error_record(path, "name", "missing_key", "required key \"name\"", "missing");
  EXPECT_EQ(path.depth(), 2u);
  EXPECT_EQ(format_error_line(r), "at outer[3].name: expected required key \"name\", got missing [missing_key]");
}

TEST(ErrorRecords, CheckOnlyRecordsNothing) {
  py::Ref value = python_value("value = 'x'");
  ErrorList errors;
  EXPECT_FALSE(report_kind_mismatch(false, make_leaf(NodeKind::Int), value.get(), WalkPath(),
                                    WalkMode::CheckOnly, errors));
  report_length_mismatch("list_length", "list", 2, true, value.get(), WalkPath(), WalkMode::CheckOnly, errors);
  EXPECT_TRUE(errors.empty());
  EXPECT_TRUE(report_kind_mismatch(true, make_leaf(NodeKind::Int), value.get(), WalkPath(),
                                   WalkMode::CollectAll, errors));
  EXPECT_TRUE(errors.empty());

  EXPECT_FALSE(report_kind_mismatch(false, make_constrained(make_leaf(NodeKind::Str), {}),
                                    value.get(), WalkPath().index(1), WalkMode::StopAtFirst, errors));
  report_length_mismatch("tuple_length", "tuple", 2, true, value.get(), WalkPath(), WalkMode::CollectAll, errors);
  report_length_mismatch("list_length", "list", 3, false, value.get(), WalkPath(), WalkMode::CollectAll, errors);
  ASSERT_EQ(errors.size(), 3u);
  EXPECT_EQ(format_error_line(errors[0]), "at [1]: expected str, got 'x' [string_type]");
  EXPECT_EQ(format_error_line(errors[1]), "expected tuple of length at least 2, got 'x' [tuple_length]");
  EXPECT_EQ(format_error_line(errors[2]), "expected list of length 3, got 'x' [list_length]");
}

// ---- previews ----

struct PreviewCase {
  const char* source;
  std::string expected;
};

class Preview : public ::testing::TestWithParam<PreviewCase> {};

TEST_P(Preview, ShowsTheCutRepr) {
  py::Ref value = python_value(GetParam().source);
  ASSERT_TRUE(value);
  EXPECT_EQ(preview_repr(value.get()), GetParam().expected);
  EXPECT_FALSE(PyErr_Occurred());
}

INSTANTIATE_TEST_SUITE_P(
    Values, Preview,
    ::testing::Values(
        PreviewCase{"value = 'x'", "'x'"},
        PreviewCase{"value = 'a' * 78", "'" + std::string(78, 'a') + "'"},
        PreviewCase{"value = 'a' * 79", "'" + std::string(79, 'a') + "..."},
        PreviewCase{"value = '\\u00e9' * 100", "'" + [] {
                      std::string s;
                      for (int i = 0; i < 79; ++i) s += "\xC3\xA9";
                      return s;
                    }() + "..."},
        PreviewCase{"class C:\n  def __repr__(self): raise ValueError('no')\nvalue = C()",
                    "<unrepresentable>"},
        PreviewCase{"class C:\n  def __repr__(self): raise KeyboardInterrupt\nvalue = C()",
                    "<unrepresentable>"},
        PreviewCase{"class C:\n  def __repr__(self): return 'a\\ud800b'\nvalue = C()",
                    "a\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD" "b"},
        PreviewCase{"class S(str):\n  def __str__(self): return 'shown'\n"
                    "class C:\n  def __repr__(self): return S('hidden')\nvalue = C()",
                    "shown"}));

struct ClassNameCase {
  const char* source;
  std::string expected;
};

class ClassName : public ::testing::TestWithParam<ClassNameCase> {};

TEST_P(ClassName, UsesNameElsePreview) {
  py::Ref value = python_value(GetParam().source);
  ASSERT_TRUE(value);
  EXPECT_EQ(render_class_name(value.get()), GetParam().expected);
  EXPECT_FALSE(PyErr_Occurred());
}

INSTANTIATE_TEST_SUITE_P(
    Classes, ClassName,
    ::testing::Values(
        ClassNameCase{"value = int", "int"},
        ClassNameCase{"class " "A" "B:\n  pass\nvalue = AB", "AB"},
        ClassNameCase{"value = 'x' * 100", "'" + std::string(79, 'x') + "..."},  // no __name__
        ClassNameCase{"class M(type):\n  __name__ = 5\n  def __repr__(cls): return '<M>'\n"
                      "value = M('K', (), {})",
                      "<M>"},
        ClassNameCase{"class M(type):\n  @property\n  def __name__(cls): raise RuntimeError\n"
                      "  def __repr__(cls): return '<M>'\nvalue = M('K', (), {})",
                      "<M>"},
        ClassNameCase{"class M(type):\n  __name__ = 'a\\ud800'\n  def __repr__(cls): return '<M>'\n"
                      "value = M('K', (), {})",
                      "<M>"}));

// ---- annotation text of hand-built trees ----

SchemaNode item_list(SchemaNode item) {
  return make_sequence(SequenceKind::List, make_repeat_pattern(make_item_pattern(std::move(item))));
}

TEST(RenderNode, OutOfRangeIndexesAndRefusedPatterns) {
  Constants none;
  DefinitionTable no_definitions;
  EXPECT_EQ(render_node(make_literal(0), none, no_definitions), "Literal[<unknown>]");
  EXPECT_EQ(render_node(make_instance(3), none, no_definitions), "<unknown>");
  EXPECT_EQ(render_node(make_definition_ref(0), none, no_definitions), "...");
  EXPECT_EQ(render_node(make_recursion_variable(7), none, no_definitions), "...");
  std::vector<SequencePattern> alternatives;
  alternatives.push_back(make_item_pattern(make_leaf(NodeKind::Int)));
  alternatives.push_back(make_item_pattern(make_leaf(NodeKind::Str)));
  EXPECT_EQ(render_node(make_sequence(SequenceKind::Tuple,
                                      make_alternation_pattern(std::move(alternatives))),
                        none, no_definitions),
            "<sequence>");
  EXPECT_EQ(render_node(make_constrained(make_leaf(NodeKind::Int),
                                         {Constraint::with_value(ConstraintKind::Ge, 9)}),
                        none, no_definitions),
            "Annotated[int, Ge(<unknown>)]");
}

TEST(RenderNode, DepthLimitCountsFromTheRoot) {
  // Definition i is list[def i+1] for i < 99 and definition 99 is int; each
  // reference and each list is one level deeper than its parent.
  DefinitionTable chain;
  for (size_t i = 0; i < 99; ++i) chain.push_back(item_list(make_definition_ref(i + 1)));
  chain.push_back(make_leaf(NodeKind::Int));
  auto nested = [](size_t lists, const std::string& inner) {
    std::string s;
    for (size_t i = 0; i < lists; ++i) s += "list[";
    return s + inner + std::string(lists, ']');
  };
  Constants none;
  // Root list at 0, reference at 1, definition k at 2k+2: int sits at 200.
  EXPECT_EQ(render_node(item_list(make_definition_ref(0)), none, chain), nested(100, "int"));
  // One more list above puts it at 201.
  EXPECT_EQ(render_node(item_list(item_list(make_definition_ref(0))), none, chain),
            nested(101, "..."));
}

TEST(RenderNode, ReferencesInsideTheirOwnExpansionAreElided) {
  Constants none;
  DefinitionTable defs;
  std::vector<SequencePattern> pair;
  pair.push_back(make_item_pattern(make_definition_ref(1)));
  pair.push_back(make_item_pattern(make_definition_ref(1)));
  defs.push_back(make_sequence(SequenceKind::Tuple, make_concat_pattern(std::move(pair))));
  defs.push_back(item_list(make_definition_ref(1)));
  // Sibling references to one definition are each written out.
  EXPECT_EQ(render_node(make_definition_ref(0), none, defs), "tuple[list[...], list[...]]");
}

}  // namespace
}  // namespace tarmelix
