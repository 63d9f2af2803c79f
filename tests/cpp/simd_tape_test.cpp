// The fast JSON road over the SIMD parser's tape: a word of a type its reader
// does not know hands the document to the event parser road wherever the walk
// meets it, and is never read as some other type.
#include <gtest/gtest.h>
#include <simdjson.h>

#include <functional>
#include <string>
#include <vector>

#include "json/json_fast.h"
#include "schema/core.h"
#include "trees.h"

namespace tarmelix {
namespace {

using namespace tarmelix::testing;
using json::FastJsonAnswer;
using simdjson::internal::JSON_VALUE_MASK;

struct TapeCase {
  const char* document;
  // The type byte of each word between the two root words, '.' for a
  // number's second word (its payload).
  std::string layout;
  std::function<SchemaNode()> schema;
  FastJsonAnswer answer;
};

SchemaNode leaf_list(NodeKind kind) { return list_of(leaf(kind)); }

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
    {"[null, null]", "[nn]", [] { return leaf_list(NodeKind::NoneValue); }, FastJsonAnswer::Member},
    {"[\"a\", 1]", "[\"l.]", [] { return leaf_list(NodeKind::Str); }, FastJsonAnswer::NotMember},
    {"[1, \"x\", 2.5]", "[l.\"d.]",
     [] { return list_of(make_union({int_node(), str_node(), leaf(NodeKind::Float)})); },
     FastJsonAnswer::Member},
    {R"({"a": 1, "b": 2.5, "c": "s", "d": true, "e": null, "f": [18446744073709551615]})",
     "{\"l.\"d.\"\"\"t\"n\"[u.]}", every_kind_record, FastJsonAnswer::Member},
    {R"({"a": 2.5, "b": 1})", "{\"d.\"l.}", unread_field_record, FastJsonAnswer::Member},
};

std::vector<uint64_t> tape_of(const char* document) {
  simdjson::dom::parser parser;
  EXPECT_EQ(parser.parse(std::string(document)).error(), simdjson::SUCCESS) << document;
  const uint64_t* tape = parser.doc.tape.get();
  // The root word holds the tape's length.
  return std::vector<uint64_t>(tape, tape + (tape[0] & JSON_VALUE_MASK));
}

FastJsonAnswer answer(const TapeCase& c, const std::vector<uint64_t>& tape) {
  // The strings come from a parse of the document itself: only type bytes change.
  simdjson::dom::parser parser;
  EXPECT_EQ(parser.parse(std::string(c.document)).error(), simdjson::SUCCESS);
  ValidatorCore core({}, {}, c.schema());
  return json::check_simd_tape(core, tape.data(), parser.doc.string_buf.get());
}

TEST(SimdTape, TheParserWritesTheLayoutTheReaderReads) {
  for (const TapeCase& c : CASES) {
    const std::vector<uint64_t> tape = tape_of(c.document);
    ASSERT_EQ(tape.size(), c.layout.size() + 2) << c.document;
    EXPECT_EQ(tape.front() >> 56, 'r');
    EXPECT_EQ(tape.back() >> 56, 'r');
    for (size_t i = 0; i < c.layout.size(); ++i) {
      if (c.layout[i] != '.') {
        EXPECT_EQ(static_cast<char>(tape[i + 1] >> 56), c.layout[i]) << c.document << ": " << i;
      }
    }
    EXPECT_EQ(answer(c, tape), c.answer) << c.document;
  }
}

// Each value word in turn given a type byte the reader does not know, or one
// that is no value's (a closing word's, the root's). The closing words
// themselves are never read: the opening word says where its value ends.
TEST(SimdTape, AWordOfAnUnknownTypeHandsTheDocumentOver) {
  for (const TapeCase& c : CASES) {
    const std::vector<uint64_t> tape = tape_of(c.document);
    for (size_t i = 0; i < c.layout.size(); ++i) {
      if (c.layout[i] == '.') continue;
      const bool closing = c.layout[i] == ']' || c.layout[i] == '}';
      for (unsigned char type : {'Z', '\0', '\xff', ']', '}', 'r'}) {
        std::vector<uint64_t> changed = tape;
        changed[i + 1] = (changed[i + 1] & JSON_VALUE_MASK) | (uint64_t{type} << 56);
        EXPECT_EQ(answer(c, changed), closing ? c.answer : FastJsonAnswer::CannotTell)
            << c.document << ": word " << i + 1 << " given type " << int(type);
      }
    }
  }
}

}  // namespace
}  // namespace tarmelix
