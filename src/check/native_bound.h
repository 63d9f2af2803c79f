// Numeric bounds read once into native numbers, compared with a value as the
// interpreter compares an int or a float with them: exactly, an int and a
// float included. A bound of any other type, or a value the natives cannot
// hold, is left to the interpreter's own comparison.
#pragma once

#include <bit>
#include <cmath>
#include <cstring>
#include <cstdint>
#include <optional>
#include <string_view>

#include "schema/node.h"
#include "schema/pool.h"

namespace tarmelix::check {

struct NativeBound {
  enum class Type : uint8_t {
    Other,       // not an exact int or float: the interpreter compares
    Int,         // an exact int in the int64 range: `integer`
    AboveInt64,  // an exact int past the int64 range, positive
    BelowInt64,  // an exact int past the int64 range, negative
    Float,       // an exact float: `number`
  };
  Type type = Type::Other;
  int64_t integer = 0;
  double number = 0;
};

// The native form of a Ge, Gt, Le or Lt constraint's bound; Other for any
// other constraint. Reads exact ints and floats only; runs no Python code.
NativeBound make_native_bound(const Constraint& constraint, const Constants& constants);

// An order no comparison holds for: a NaN on either side.
inline constexpr int UNORDERED = 2;

// The sign of `a - b` for an int64 and a double, exactly, or UNORDERED.
inline int compare_int_float(int64_t a, double b) {
  if (std::isnan(b)) return UNORDERED;
  if (b >= 9223372036854775808.0) return -1;
  if (b < -9223372036854775808.0) return 1;
  const double whole = std::trunc(b);
  const int64_t w = static_cast<int64_t>(whole);
  if (a != w) return a < w ? -1 : 1;
  const double fraction = b - whole;
  return fraction > 0 ? -1 : fraction < 0 ? 1 : 0;
}

// The sign of `value - bound`, or UNORDERED; empty when the interpreter
// must compare.
inline std::optional<int> order_of_int(int64_t value, const NativeBound& bound) {
  switch (bound.type) {
    case NativeBound::Type::Int:
      return value < bound.integer ? -1 : value > bound.integer ? 1 : 0;
    case NativeBound::Type::AboveInt64:
      return -1;
    case NativeBound::Type::BelowInt64:
      return 1;
    case NativeBound::Type::Float:
      return compare_int_float(value, bound.number);
    case NativeBound::Type::Other:
      break;
  }
  return std::nullopt;
}

inline std::optional<int> order_of_float(double value, const NativeBound& bound) {
  switch (bound.type) {
    case NativeBound::Type::Int: {
      const int o = compare_int_float(bound.integer, value);
      return o == UNORDERED ? o : -o;
    }
    case NativeBound::Type::Float:
      if (std::isnan(value) || std::isnan(bound.number)) return UNORDERED;
      return value < bound.number ? -1 : value > bound.number ? 1 : 0;
    default:
      break;
  }
  return std::nullopt;
}

// Whether a comparison of the given kind holds for an order.
inline bool bound_holds(ConstraintKind kind, int order) {
  if (order == UNORDERED) return false;
  switch (kind) {
    case ConstraintKind::Ge:
      return order >= 0;
    case ConstraintKind::Gt:
      return order > 0;
    case ConstraintKind::Le:
      return order <= 0;
    case ConstraintKind::Lt:
      return order < 0;
    default:
      return false;
  }
}

// Code points of a valid UTF-8 text: the bytes that start one.
inline uint64_t utf8_code_points(std::string_view text) {
  uint64_t n = 0;
  size_t i = 0;
  // Eight bytes at a time: the bytes that are not continuations (10xxxxxx).
  for (; i + 8 <= text.size(); i += 8) {
    uint64_t w;
    std::memcpy(&w, text.data() + i, 8);
    const uint64_t continuation = w & ~(w << 1) & 0x8080808080808080ull;
    n += 8 - static_cast<uint64_t>(std::popcount(continuation));
  }
  for (; i < text.size(); ++i) n += (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
  return n;
}

}  // namespace tarmelix::check
