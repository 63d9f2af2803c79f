// The exact Python types a node can be decided by alone, one bit each: a
// node whose answer the bits give is tested with one mask test per value.
#pragma once

#include <Python.h>

#include <cstdint>
#include <optional>

#include "schema/node.h"

namespace tarmelix::check {

// Exact Python types. A value of any other type, a subclass of one of
// these included, has no bit and goes to the walk.
enum PyTypeBit : uint8_t {
  PY_NONE = 1 << 0,
  PY_BOOL = 1 << 1,
  PY_INT = 1 << 2,
  PY_FLOAT = 1 << 3,
  PY_STR = 1 << 4,
  PY_BYTES = 1 << 5,
};
inline constexpr uint8_t PY_EVERY_TYPE = 0x3f;

inline uint8_t py_type_bit(PyObject* v) {
  PyTypeObject* t = Py_TYPE(v);
  if (t == &PyLong_Type) return PY_INT;
  if (t == &PyUnicode_Type) return PY_STR;
  if (t == &PyFloat_Type) return PY_FLOAT;
  if (v == Py_None) return PY_NONE;
  if (t == &PyBool_Type) return PY_BOOL;
  if (t == &PyBytes_Type) return PY_BYTES;
  return 0;
}

// The exact types a scalar kind admits, or empty for other kinds.
inline std::optional<uint8_t> py_type_mask(NodeKind kind) {
  switch (kind) {
    case NodeKind::Anything:
    case NodeKind::Any:
      return PY_EVERY_TYPE;
    case NodeKind::Nothing:
      return 0;
    case NodeKind::NoneValue:
      return PY_NONE;
    case NodeKind::Bool:
      return PY_BOOL;
    // bool is an int subclass
    case NodeKind::Int:
      return PY_BOOL | PY_INT;
    case NodeKind::Float:
      return PY_FLOAT;
    case NodeKind::Str:
      return PY_STR;
    case NodeKind::Bytes:
      return PY_BYTES;
    default:
      return std::nullopt;
  }
}

}  // namespace tarmelix::check
