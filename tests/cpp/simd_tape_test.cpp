// The SIMD parser's tape as the fast JSON roads read it: a word of a type the
// readers do not know stops the walk and the build wherever they meet it
// (the document then goes to the event parser road), and is never read as
// some other type.
#include <gtest/gtest.h>
#include <simdjson.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "check/fresh_walk.h"
#include "check/walk_plan.h"
#include "json/json_plan.h"
#include "json/simd_tape.h"
#include "json/tape_build.h"
#include "trees.h"

namespace tarmelix {
namespace {

using namespace tarmelix::testing;
using json::SimdTape;
using json::SimdTapeView;
using json::UnknownTapeType;
using simdjson::internal::JSON_VALUE_MASK;

struct TapeCase {
  const char* document;
  // The type byte of each word between the two root words, '.' for a
  // number's second word (its payload).
  std::string layout;
  std::function<SchemaNode()> schema;
  bool member;
};

SchemaNode every_kind_record() {
  std::vector<RecordField> fields;
  fields.push_back(field("a", int_node()));
  fields.push_back(field("b", leaf(NodeKind::Float)));
  fields.push_back(field("c", str_node()));
  fields.push_back(field("d", leaf(NodeKind::Bool)));
  fields.push_back(field("e", leaf(NodeKind::NoneValue)));
  fields.push_back(field("f", list_of(int_node())));
  return make_record(std::move(fields), {});
}

// A field whose schema never reads its value: the step past the value still
// lands on the next key, never inside the value.
SchemaNode unread_field_record() {
  std::vector<RecordField> fields;
  fields.push_back(field("a", make_complement(tuple_of({int_node()}))));
  fields.push_back(field("b", int_node()));
  return make_record(std::move(fields), {});
}

const TapeCase CASES[] = {
    {"[null, null]", "[nn]", [] { return list_of(leaf(NodeKind::NoneValue)); }, true},
    {"[\"a\", 1]", "[\"l.]", [] { return list_of(str_node()); }, false},
    {"[1, \"x\", 2.5]", "[l.\"d.]",
     [] { return list_of(make_union({int_node(), str_node(), leaf(NodeKind::Float)})); }, true},
    {R"({"a": 1, "b": 2.5, "c": "s", "d": true, "e": null, "f": [18446744073709551615]})",
     "{\"l.\"d.\"\"\"t\"n\"[u.]}", every_kind_record, true},
    {R"({"a": 2.5, "b": 1})", "{\"d.\"l.}", unread_field_record, true},
};

// A document parsed once; its tape words copied so a test may change them.
struct Parsed {
  simdjson::dom::parser parser;
  std::vector<uint64_t> words;

  explicit Parsed(const char* document) {
    EXPECT_EQ(parser.parse(std::string(document)).error(), simdjson::SUCCESS) << document;
    const uint64_t* tape = parser.doc.tape.get();
    // The root word holds the tape's length.
    words.assign(tape, tape + (tape[0] & JSON_VALUE_MASK));
  }
  SimdTape tape() const { return {words.data(), parser.doc.string_buf.get()}; }
};

// Membership by the walk over the tape; throws UnknownTapeType as the view does.
bool walk(const TapeCase& c, const SimdTape& tape) {
  ValidatorCore core({}, {}, c.schema());
  json::JsonPartBuilder part(core);
  ensure_walk_plan(core, &part);
  std::optional<bool> member = check::run_fresh_walk(
      core.constants, core.definitions, core_walk_plan(core), WalkMode::CheckOnly,
      [&](const WalkContext& ctx) {
        return json::walk_impl::walk(core.root, SimdTapeView(&tape, 1), ctx);
      });
  EXPECT_TRUE(member.has_value()) << c.document;
  return member.value_or(false);
}

py::Ref loads(const char* document) {
  py::Ref json = py::Ref::steal(PyImport_ImportModule("json"));
  return py::Ref::steal(PyObject_CallMethod(json.get(), "loads", "s", document));
}

bool equal(const py::Ref& a, const py::Ref& b) {
  return a && b && PyObject_RichCompareBool(a.get(), b.get(), Py_EQ) == 1;
}

TEST(SimdTape, TheParserWritesTheLayoutTheReadersRead) {
  for (const TapeCase& c : CASES) {
    const Parsed parsed(c.document);
    const std::vector<uint64_t>& words = parsed.words;
    ASSERT_EQ(words.size(), c.layout.size() + 2) << c.document;
    EXPECT_EQ(words.front() >> 56, 'r');
    EXPECT_EQ(words.back() >> 56, 'r');
    for (size_t i = 0; i < c.layout.size(); ++i) {
      if (c.layout[i] != '.') {
        EXPECT_EQ(static_cast<char>(words[i + 1] >> 56), c.layout[i]) << c.document << ": " << i;
      }
    }
    const SimdTape tape = parsed.tape();
    EXPECT_EQ(walk(c, tape), c.member) << c.document;
    EXPECT_TRUE(equal(json::build_from_tape(tape, 1, nullptr), loads(c.document))) << c.document;
  }
}

// Each value word in turn given a type byte the readers do not know, or one
// that is no value's (a closing word's, the root's). The closing words
// themselves are never read: the opening word says where its value ends.
TEST(SimdTape, AWordOfAnUnknownTypeStopsTheWalkAndTheBuild) {
  for (const TapeCase& c : CASES) {
    Parsed parsed(c.document);
    const std::vector<uint64_t> words = parsed.words;
    const py::Ref expected = loads(c.document);
    for (size_t i = 0; i < c.layout.size(); ++i) {
      if (c.layout[i] == '.') continue;
      const bool closing = c.layout[i] == ']' || c.layout[i] == '}';
      for (unsigned char type : {'Z', '\0', '\xff', ']', '}', 'r'}) {
        parsed.words = words;
        parsed.words[i + 1] = (words[i + 1] & JSON_VALUE_MASK) | (uint64_t{type} << 56);
        const SimdTape tape = parsed.tape();
        const std::string where =
            std::string(c.document) + ": word " + std::to_string(i + 1) + " given type " +
            std::to_string(type);
        if (closing) {
          EXPECT_EQ(walk(c, tape), c.member) << where;
          EXPECT_TRUE(equal(json::build_from_tape(tape, 1, nullptr), expected)) << where;
        } else {
          EXPECT_THROW(walk(c, tape), UnknownTapeType) << where;
          EXPECT_FALSE(json::build_from_tape(tape, 1, nullptr)) << where;
          EXPECT_TRUE(PyErr_Occurred()) << where;
          PyErr_Clear();
        }
      }
    }
  }
}

}  // namespace
}  // namespace tarmelix
