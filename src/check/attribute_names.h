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
  // Borrowed; null with the exception set when the str cannot be made.
  PyObject* get(const RecordField& field);

 private:
  WordTable slots_;  // field address -> index into names_
  std::vector<py::Ref> names_;
};

}  // namespace tarmelix
