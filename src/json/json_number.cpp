#include "json/json_number.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "py/ref.h"

namespace tarmelix::json {

namespace {

// The interpreter accepts no nonzero digit limit below this, so a literal this
// short always converts and the limit need not be read.
constexpr size_t DIGITS_ALWAYS_CONVERTED = 640;

// The current sys.get_int_max_str_digits() (0: no limit); empty with the
// indicator set when it cannot be read.
std::optional<size_t> read_int_digit_limit() {
  py::Ref get = py::Ref::borrow(PySys_GetObject("get_int_max_str_digits"));
  if (!get) {
    if (!PyErr_Occurred()) PyErr_SetString(PyExc_RuntimeError, "lost sys.get_int_max_str_digits");
    return std::nullopt;
  }
  py::Ref value = py::Ref::steal(PyObject_CallNoArgs(get.get()));
  if (!value) return std::nullopt;
  Py_ssize_t limit = PyLong_AsSsize_t(value.get());
  if (limit == -1 && PyErr_Occurred()) return std::nullopt;
  if (limit < 0) {
    PyErr_SetString(PyExc_ValueError, "sys.get_int_max_str_digits() gave a negative limit");
    return std::nullopt;
  }
  return static_cast<size_t>(limit);
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool is_number_char(char c) {
  return is_digit(c) || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
}

size_t skip_digits(std::string_view s, size_t i) {
  while (i < s.size() && is_digit(s[i])) ++i;
  return i;
}

// A number literal as the JSON grammar reads it.
struct NumberLiteral {
  size_t end = 0;  // one past its last byte
  bool negative = false;
  std::string_view int_digits;
  std::string_view frac_digits;
  bool has_exponent = false;
  bool exponent_negative = false;
  std::string_view exponent_digits;
};

// The literal starting at `i` (a '-' or a digit); empty when the grammar
// reads no number there. Stops where the grammar stops, as the parser does.
std::optional<NumberLiteral> read_number(std::string_view s, size_t i) {
  NumberLiteral n;
  if (s[i] == '-') {
    n.negative = true;
    ++i;
  }
  size_t int_start = i;
  if (i < s.size() && s[i] == '0') {
    ++i;
  } else if (i < s.size() && is_digit(s[i])) {
    i = skip_digits(s, i);
  } else {
    return std::nullopt;
  }
  n.int_digits = s.substr(int_start, i - int_start);
  if (i + 1 < s.size() && s[i] == '.' && is_digit(s[i + 1])) {
    size_t frac_start = i + 1;
    i = skip_digits(s, frac_start);
    n.frac_digits = s.substr(frac_start, i - frac_start);
  }
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    size_t j = i + 1;
    bool minus = false;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) minus = s[j++] == '-';
    if (j < s.size() && is_digit(s[j])) {
      size_t exp_start = j;
      i = skip_digits(s, j);
      n.has_exponent = true;
      n.exponent_negative = minus;
      n.exponent_digits = s.substr(exp_start, i - exp_start);
    }
  }
  n.end = i;
  return n;
}

// Exponents and digit counts this large may overflow the parser's int
// arithmetic; any literal past them is rewritten (an equal literal is
// harmless where the parser would have coped).
constexpr uint64_t PARSER_SAFE_MAGNITUDE = 1'000'000'000;

bool parser_may_overflow(const NumberLiteral& n) {
  std::string_view digits = n.exponent_digits;
  while (!digits.empty() && digits.front() == '0') digits.remove_prefix(1);
  if (digits.size() > 9) return true;
  uint64_t exponent = 0;
  for (char c : digits) exponent = exponent * 10 + static_cast<uint64_t>(c - '0');
  return exponent + n.int_digits.size() + n.frac_digits.size() >= PARSER_SAFE_MAGNITUDE;
}

// The shortest plain literal of the same value, or empty when the value
// overflows (the literal stays and is refused as out of range).
std::optional<std::string> equal_literal(const NumberLiteral& n) {
  std::string sign = n.negative ? "-" : "";
  std::string mantissa = std::string(n.int_digits) + std::string(n.frac_digits);
  size_t lead = mantissa.find_first_not_of('0');
  if (lead == std::string::npos) return sign + "0.0";
  mantissa.erase(0, lead);
  mantissa.erase(mantissa.find_last_not_of('0') + 1);
  // value = 0.{mantissa} * 10^scale; past either end of the double range
  // (with room to spare) it is infinite or rounds to zero.
  std::string_view exp_digits = n.exponent_digits;
  while (!exp_digits.empty() && exp_digits.front() == '0') exp_digits.remove_prefix(1);
  constexpr int64_t FAR = 100'000;
  int64_t exponent = 0;
  if (exp_digits.size() > 12) {
    exponent = 1'000'000'000'000;  // far past any digit count a document can hold
  } else {
    for (char c : exp_digits) exponent = exponent * 10 + (c - '0');
  }
  if (n.exponent_negative) exponent = -exponent;
  const int64_t scale =
      static_cast<int64_t>(n.int_digits.size()) - static_cast<int64_t>(lead) + exponent;
  if (scale > FAR) return std::nullopt;
  if (scale < -FAR) return sign + "0.0";
  std::string out = sign + mantissa.substr(0, 1);
  if (mantissa.size() > 1) out += "." + mantissa.substr(1);
  return out + "e" + std::to_string(scale - 1);
}

}  // namespace

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
  // The literal is valid, so only a MemoryError gets here: it stays set.
  if (slow == -1.0 && PyErr_Occurred()) return std::nullopt;
  if (std::isinf(slow)) return std::nullopt;
  return slow;
}

IntegerFit IntegerDigitLimit::check(std::string_view literal) {
  const size_t digits = literal.size() - (!literal.empty() && literal.front() == '-' ? 1 : 0);
  if (digits <= DIGITS_ALWAYS_CONVERTED) return IntegerFit::Fits;
  if (!limit_) {
    limit_ = read_int_digit_limit();
    if (!limit_) return IntegerFit::PythonError;
  }
  return *limit_ == 0 || digits <= *limit_ ? IntegerFit::Fits : IntegerFit::TooLong;
}

std::unique_ptr<char[]> rewrite_huge_exponents(std::string_view input) {
  std::unique_ptr<char[]> out;
  size_t i = 0;
  while (i < input.size()) {
    const char c = input[i];
    if (c == '"') {
      for (++i; i < input.size(); ++i) {
        if (input[i] == '\\') {
          ++i;
        } else if (input[i] == '"') {
          ++i;
          break;
        }
      }
      continue;
    }
    if (c != '-' && !is_digit(c)) {
      ++i;
      continue;
    }
    std::optional<NumberLiteral> n = read_number(input, i);
    if (!n) {
      ++i;
      continue;
    }
    if (n->has_exponent && parser_may_overflow(*n)) {
      std::optional<std::string> equal = equal_literal(*n);
      if (equal && equal->size() <= n->end - i) {
        if (!out) {
          out.reset(new char[input.size()]);
          std::memcpy(out.get(), input.data(), input.size());
        }
        std::memcpy(out.get() + i, equal->data(), equal->size());
        std::memset(out.get() + i + equal->size(), ' ', n->end - i - equal->size());
      }
    }
    i = n->end;
  }
  return out;
}

size_t number_literal_start(std::string_view input, size_t offset) {
  size_t i = offset < input.size() ? offset : input.size();
  while (i > 0 && is_number_char(input[i - 1])) --i;
  return i;
}

}  // namespace tarmelix::json
