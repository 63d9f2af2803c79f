// The attribute names of Object fields as interned str objects, made once per
// walk: a list of instances reads each name many times, and an interned name
// lets the interpreter's attribute caches match it by identity.
#pragma once

#include <vector>

#include "check/flat_table.h"
#include "py/ref.h"
#include "schema/node.h"

namespace tarmelix {

class AttributeNames {
 public:
  // The names of the fields of an Object node, in field order (borrowed,
  // valid for the walk); null with the exception set when one cannot be made.
  const py::Ref* of(const std::vector<RecordField>& fields);

 private:
  WordTable slots_;  // field list address -> index into blocks_
  // One block per node: a block's buffer stays put when blocks_ grows, so
  // names handed out stay valid while nested Object walks add blocks.
  std::vector<std::vector<py::Ref>> blocks_;
};

}  // namespace tarmelix
