#include "check/attribute_names.h"

#include "check/walk_plan.h"

namespace tarmelix::check {

std::vector<py::Ref> make_attribute_names(const std::vector<RecordField>& fields) {
  std::vector<py::Ref> made;
  made.reserve(fields.size());
  for (const RecordField& field : fields) {
    PyObject* name = PyUnicode_FromStringAndSize(field.name.data(),
                                                 static_cast<Py_ssize_t>(field.name.size()));
    if (!name) return {};
    PyUnicode_InternInPlace(&name);
    made.push_back(py::Ref::steal(name));
  }
  return made;
}

const py::Ref* AttributeNames::of(const SchemaNode& object, const WalkPlan* plan) {
  const std::vector<RecordField>& fields = object.fields;
  if (&fields == last_fields_) return last_names_;
  const PlanEntry* e = plan ? plan->entry(object) : nullptr;
  const py::Ref* names =
      e && e->attributes != NO_FACT ? plan->attribute_names[e->attributes].data() : nullptr;
  if (!names) {
    const uint64_t key = reinterpret_cast<uintptr_t>(&fields);
    if (const uint64_t* slot = slots_.find(key)) {
      names = blocks_[*slot].data();
    } else {
      std::vector<py::Ref> made = make_attribute_names(fields);
      if (made.empty()) return nullptr;
      slots_.put(key, blocks_.size());
      blocks_.push_back(std::move(made));
      names = blocks_.back().data();
    }
  }
  last_fields_ = &fields;
  last_names_ = names;
  return names;
}

}  // namespace tarmelix::check
