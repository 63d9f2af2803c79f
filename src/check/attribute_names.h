// The attribute names of Object fields as interned str objects. A list of
// instances reads each name many times, and an interned name lets the
// interpreter's attribute caches match it by identity. The walk plan holds
// them once per validator; a walk without a plan entry makes its own.
#pragma once

#include <vector>

#include "check/flat_table.h"
#include "py/ref.h"
#include "schema/node.h"

namespace tarmelix::check {

struct WalkPlan;

// Interned names of the fields, in field order; empty with the exception set
// when one cannot be made (never empty otherwise for a non-empty list).
std::vector<py::Ref> make_attribute_names(const std::vector<RecordField>& fields);

// Per-walk access to the names of each Object node met.
class AttributeNames {
 public:
  // The names of the fields of an Object node, in field order (borrowed,
  // valid for the walk); null with the exception set when one cannot be made.
  const py::Ref* of(const SchemaNode& object, const WalkPlan* plan);

 private:
  // The node asked about last: a list of instances asks about one node in a
  // row, and this spares it a table lookup per instance.
  const std::vector<RecordField>* last_fields_ = nullptr;
  const py::Ref* last_names_ = nullptr;
  WordTable slots_;  // field list address -> index into blocks_
  // One block per node: a block's buffer stays put when blocks_ grows, so
  // names handed out stay valid while nested Object walks add blocks.
  std::vector<std::vector<py::Ref>> blocks_;
};

}  // namespace tarmelix::check
