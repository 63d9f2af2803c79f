#include "check/attribute_names.h"

namespace tarmelix {

PyObject* AttributeNames::get(const RecordField& field) {
  const uint64_t key = reinterpret_cast<uintptr_t>(&field);
  if (const uint64_t* slot = slots_.find(key)) return names_[*slot].get();
  PyObject* made = PyUnicode_FromStringAndSize(field.name.data(),
                                               static_cast<Py_ssize_t>(field.name.size()));
  if (!made) return nullptr;
  PyUnicode_InternInPlace(&made);
  py::Ref name = py::Ref::steal(made);
  slots_.put(key, names_.size());
  names_.push_back(std::move(name));
  return names_.back().get();
}

}  // namespace tarmelix
