// A JSON document parsed into a compact tree of its own, for is_valid_json:
// the walk reads it in place and builds Python objects only where a check
// needs one.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "py/ref.h"

namespace tarmelix {

enum class JsonValueKind : uint8_t { Null, Bool, Int, BigInt, Float, Str, Array, Object };

// One value: 16 bytes. Str and BigInt texts point into the document or into
// the tree's own text storage; the elements of an Array, and the entries of an
// Object as (key Str, value) pairs, lie next to each other in the tree.
struct JsonValue {
  JsonValueKind kind = JsonValueKind::Null;
  uint64_t size = 0;  // Str, BigInt: bytes; Array: elements; Object: entries
  union {
    bool boolean;
    int64_t integer;
    double number;
    const char* text;          // Str (UTF-8, escapes decoded), BigInt (decimal digits)
    const JsonValue* items;    // Array, Object
    uint64_t item_index = 0;   // Array, Object while the tree is being built
  };

  std::string_view str() const { return {text, static_cast<size_t>(size)}; }
  std::span<const JsonValue> elements() const { return {items, static_cast<size_t>(size)}; }
  // Entry i of an Object: its key (a Str value) and its value.
  const JsonValue& entry_key(size_t i) const { return items[2 * i]; }
  const JsonValue& entry_value(size_t i) const { return items[2 * i + 1]; }
};

// Owns every value and every text the tree made; the document's own bytes
// must outlive it.
struct JsonDocument {
  std::vector<JsonValue> values;
  std::vector<std::unique_ptr<char[]>> texts;
  JsonValue root;

  JsonDocument() = default;
  JsonDocument(JsonDocument&&) = default;
  JsonDocument& operator=(JsonDocument&&) = default;
  JsonDocument(const JsonDocument&) = delete;
  JsonDocument& operator=(const JsonDocument&) = delete;
};

// The tree of a well-formed document; empty when it is malformed. Sets no
// error.
std::optional<JsonDocument> parse_json_document(std::string_view input);

// A new Python object equal to the value (lists, dicts with a repeated key
// keeping its first position and its last value); null with the error set.
py::Ref json_to_python(const JsonValue& value);

}  // namespace tarmelix
