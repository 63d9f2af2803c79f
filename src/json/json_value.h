// A JSON document parsed into a compact tree of its own, for is_valid_json:
// the walk reads it in place and builds Python objects only where a check
// needs one.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "py/ref.h"

namespace tarmelix::json {

enum class JsonValueKind : uint8_t { Null, Bool, Int, BigInt, Float, Str, Array, Object };

// One value: 16 bytes. The tree is one array in document order: a container
// is followed by its whole subtree, so its first element (or the key of its
// first entry) comes right after it and each later one follows the end of the
// one before. An Object's entries are (key Str, value) pairs. Str and BigInt
// texts point into the document or into the tree's own text storage.
struct JsonValue {
  JsonValueKind kind : 8;
  uint64_t size : 56;  // Str, BigInt: bytes; Array: elements; Object: entries
  union {
    bool boolean;
    int64_t integer;
    double number;
    const char* text;  // Str (UTF-8, escapes decoded), BigInt (decimal digits)
    uint64_t span;     // Array, Object: number of values in the subtree below
  };

  bool is_container() const { return kind == JsonValueKind::Array || kind == JsonValueKind::Object; }
  std::string_view str() const { return {text, static_cast<size_t>(size)}; }
  // The first element of an Array or the first key of an Object.
  const JsonValue* first() const { return this + 1; }
  // The value after this one and its subtree: the next element, key or value.
  const JsonValue* next() const { return this + 1 + (is_container() ? span : 0); }
};
static_assert(sizeof(JsonValue) == 16);

// Owns every value and every text the tree made; the document's own bytes
// must outlive it.
struct JsonDocument {
  std::unique_ptr<JsonValue[]> values;  // values[0] is the root
  std::vector<std::unique_ptr<char[]>> texts;

  const JsonValue& root() const { return values[0]; }
};

// The tree of a well-formed document; empty when it is malformed (no error
// set) or when the interpreter's integer digit limit could not be read (the
// indicator set). Throws py::StackExhausted when the native stack runs short.
std::optional<JsonDocument> parse_json_document(std::string_view input);

}  // namespace tarmelix::json
