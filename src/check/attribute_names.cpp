#include "check/attribute_names.h"

namespace tarmelix {

const py::Ref* AttributeNames::of(const std::vector<RecordField>& fields) {
  const uint64_t key = reinterpret_cast<uintptr_t>(&fields);
  if (const uint64_t* slot = slots_.find(key)) return blocks_[*slot].data();
  std::vector<py::Ref> made;
  made.reserve(fields.size());
  for (const RecordField& field : fields) {
    PyObject* name = PyUnicode_FromStringAndSize(field.name.data(),
                                                 static_cast<Py_ssize_t>(field.name.size()));
    if (!name) return nullptr;
    PyUnicode_InternInPlace(&name);
    made.push_back(py::Ref::steal(name));
  }
  slots_.put(key, blocks_.size());
  blocks_.push_back(std::move(made));
  return blocks_.back().data();
}

}  // namespace tarmelix
