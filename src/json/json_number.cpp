#include "json/json_number.h"

#include <charconv>
#include <cmath>
#include <string>

#include "py/ref.h"

namespace tarmelix::json {

bool is_integer_literal(std::string_view literal) {
  return literal.find_first_of(".eE") == std::string_view::npos;
}

std::optional<double> reparse_double(std::string_view literal) {
  double value = 0.0;
  auto [end, ec] = std::from_chars(literal.data(), literal.data() + literal.size(), value);
  if (ec == std::errc() && end == literal.data() + literal.size()) {
    if (std::isinf(value)) return std::nullopt;
    return value;
  }
  // from_chars reports subnormal and underflowing results as out of range;
  // the interpreter's conversion rounds them correctly (and gives +-inf for
  // an overflow, with no exception when none is asked for).
  std::string text(literal);
  double slow = PyOS_string_to_double(text.c_str(), nullptr, nullptr);
  if (slow == -1.0 && PyErr_Occurred()) {
    PyErr_Clear();
    return std::nullopt;
  }
  if (std::isinf(slow)) return std::nullopt;
  return slow;
}

}  // namespace tarmelix::json
