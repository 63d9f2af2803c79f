// What a CheckOnly walk of a document with the same plan found, handed to the
// walk that explains a value that is not a member: along records and lists,
// which parts were members (a member adds no record, so needs no walk) and
// which were refused. The value that goes with a hint is built only as far
// as that walk reads it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "py/ref.h"

namespace tarmelix::check {

struct MemberHint;

// A record's field: a member (or absent) value, or a refused one with what
// is known below it (null: its value is built whole and walked whole).
struct FieldHint {
  bool member = true;
  std::unique_ptr<MemberHint> below;
};

// A refused item of a list, at its position there, with its value.
struct ItemHint {
  size_t index = 0;
  py::Ref value;
  std::unique_ptr<MemberHint> below;
};

struct MemberHint {
  // Record: the value is a dict with every key of the document's object in
  // its place, the values of member fields left None. List: the value is
  // never read; the refused items carry their own (the first alone where
  // the walk stops at the first failure).
  enum class Kind : uint8_t { Record, List };
  Kind kind = Kind::List;
  std::vector<FieldHint> fields;  // Record: one per field, in field order
  std::vector<ItemHint> items;    // List: in order
};

}  // namespace tarmelix::check

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using check::FieldHint;
using check::ItemHint;
using check::MemberHint;
}  // namespace tarmelix
