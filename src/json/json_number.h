// Number literals of JSON documents, shared by every parse road: what a
// literal reads as, and which literals a document may not hold.
//  - Every non-integer is read again from its text (the parser's own double
//    conversion is not correctly rounded), as float(literal) reads it; one
//    that overflows to infinity is out of range.
//  - An integer literal with more digits than the interpreter converts from
//    text (sys.get_int_max_str_digits()) is out of range, whatever the schema.
//  - The parser refuses exponents past its int range even where the value is
//    a plain float (0e99999999999, 1e-99999999999 read as 0.0); such literals
//    are rewritten to an equal literal before the parser sees them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

namespace tarmelix::json {

// True when the literal has no fraction and no exponent.
bool is_integer_literal(std::string_view literal);

// The correctly rounded double of a JSON number literal; empty when it
// overflows to infinity (such a document is refused), or with the
// interpreter's error set when the conversion failed. Needs the interpreter.
std::optional<double> reparse_double(std::string_view literal);

// Error text for a literal that overflows or has too many digits.
inline constexpr std::string_view NUMBER_OUT_OF_RANGE = "number out of range";

enum class IntegerFit : uint8_t { Fits, TooLong, PythonError };

// The interpreter's digit limit for one document. The limit is read at most
// once, and only for a literal long enough for it to matter, so ordinary
// documents never pay for it.
class IntegerDigitLimit {
 public:
  // Whether an integer literal (optional '-', then digits) may be converted;
  // PythonError with the indicator set when the limit could not be read.
  IntegerFit check(std::string_view literal);

 private:
  std::optional<size_t> limit_;  // 0: no limit
};

// A copy of the document in which every number literal whose exponent the
// parser cannot hold, and whose value is finite, is replaced by an equal
// literal padded with spaces to the same length (so every later offset, line
// and column stays). Null when no literal needed it. Needs the interpreter.
std::unique_ptr<char[]> rewrite_huge_exponents(std::string_view input);

// Where the number literal that holds byte `offset` begins.
size_t number_literal_start(std::string_view input, size_t offset);

}  // namespace tarmelix::json
