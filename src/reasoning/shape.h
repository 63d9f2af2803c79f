// Shape-only knowledge of schema nodes: the top-level value classes a node
// covers (scalar kind masks) and the shape code behind disjointness tests.
// Nothing here calls into Python or spends budget.
#pragma once

#include <cstdint>

#include "schema/node.h"

namespace tarmelix::reasoning {

// A set of the seven top-level value classes every Python value falls into.
using ScalarKindMask = uint8_t;
inline constexpr ScalarKindMask KIND_NONE = 0x01;
inline constexpr ScalarKindMask KIND_BOOL = 0x02;
inline constexpr ScalarKindMask KIND_INT = 0x04;  // an int that is not a bool
inline constexpr ScalarKindMask KIND_FLOAT = 0x08;
inline constexpr ScalarKindMask KIND_STR = 0x10;
inline constexpr ScalarKindMask KIND_BYTES = 0x20;
inline constexpr ScalarKindMask KIND_OTHER = 0x40;
inline constexpr ScalarKindMask KIND_ALL = 0x7f;

// Exact: the node's set is precisely the union of the classes in `mask`;
// when inexact the mask means nothing.
struct KindMask {
  bool inexact = false;
  ScalarKindMask mask = 0;
};

// Only Anything, Nothing and the scalar leaves combined by Union,
// Intersection and Complement are exact; nothing else is looked through.
KindMask scalar_kind_mask(const SchemaNode& node);

using ShapeKind = uint8_t;
inline constexpr ShapeKind SHAPE_NONE = 0;
inline constexpr ShapeKind SHAPE_BOOL = 1;
inline constexpr ShapeKind SHAPE_INT = 2;
inline constexpr ShapeKind SHAPE_FLOAT = 3;
inline constexpr ShapeKind SHAPE_STR = 4;
inline constexpr ShapeKind SHAPE_BYTES = 5;
inline constexpr ShapeKind SHAPE_LIST = 6;
inline constexpr ShapeKind SHAPE_TUPLE = 7;
inline constexpr ShapeKind SHAPE_SET = 8;
inline constexpr ShapeKind SHAPE_FROZEN_SET = 9;
inline constexpr ShapeKind SHAPE_RECORD = 10;
inline constexpr ShapeKind SHAPE_UNKNOWN = 255;

// The top-level shape, read through Constrained wrappers.
ShapeKind shape_kind(const SchemaNode& node);

// True only when the shapes alone prove that the nodes share no value.
bool known_disjoint(const SchemaNode& a, const SchemaNode& b);

}  // namespace tarmelix::reasoning
