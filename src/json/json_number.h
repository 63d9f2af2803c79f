// Number literals of JSON documents, shared by both parse roads: the parser's
// own double conversion is not correctly rounded, so every non-integer is
// read again from its literal text.
#pragma once

#include <optional>
#include <string_view>

namespace tarmelix::json {

// True when the literal has no fraction and no exponent.
bool is_integer_literal(std::string_view literal);

// The correctly rounded double of a JSON number literal; empty when it
// overflows to infinity (such a document is refused). Needs the interpreter.
std::optional<double> reparse_double(std::string_view literal);

// Error text for a literal that overflows.
inline constexpr std::string_view NUMBER_OUT_OF_RANGE = "number out of range";

}  // namespace tarmelix::json
