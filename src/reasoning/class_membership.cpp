#include "reasoning/class_membership.h"

#include <optional>

#include "py/error.h"
#include "py/once.h"
#include "py/ref.h"

namespace tarmelix::reasoning {

namespace {

// How isinstance(value, C) decides.
//  Plain: type's own check, the MRO of the value's class.
//  Abc: ABCMeta's check (MRO, registrations, the subclasses' checks) with a
//    hook that never answers for C itself.
//  AbcHooked: ABCMeta's check, with a hook of collections.abc that answers
//    for C by its methods, yet only True or NotImplemented: a class with C in
//    its MRO is still always admitted.
//  Structural: anything else.
enum class ClassCheck : uint8_t { Plain, Abc, AbcHooked, Structural };

struct CheckReferences {
  py::Ref type_instancecheck;
  py::Ref type_subclasscheck;
  py::Ref abc_instancecheck;
  py::Ref abc_subclasscheck;
  py::Ref collections_abc;  // the module whose hooks are known to answer as above
};

py::OnceCell<CheckReferences>& references_cell() {
  static auto* cell = new py::OnceCell<CheckReferences>();
  return *cell;
}

// The first entry named `name` in the dicts of the type's MRO (borrowed from
// the defining dict, kept alive by the type), and that type; null when none
// defines it. Empty with the indicator set on failure.
struct Found {
  PyObject* value = nullptr;
  PyObject* owner = nullptr;
};

std::optional<Found> lookup_in_mro(PyTypeObject* type, const char* name) {
  py::Ref key = py::Ref::steal(PyUnicode_InternFromString(name));
  if (!key) return std::nullopt;
  PyObject* mro = type->tp_mro;
  if (!mro || !PyTuple_Check(mro)) return Found{};
  for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(mro); ++i) {
    PyObject* base = PyTuple_GET_ITEM(mro, i);
    if (!PyType_Check(base)) continue;
    py::Ref dict = py::Ref::steal(PyType_GetDict(reinterpret_cast<PyTypeObject*>(base)));
    if (!dict) continue;
    PyObject* value = PyDict_GetItemWithError(dict.get(), key.get());
    if (value) return Found{value, base};
    if (PyErr_Occurred()) return std::nullopt;
  }
  return Found{};
}

std::optional<CheckReferences> init_references() {
  CheckReferences refs;
  std::optional<Found> ti = lookup_in_mro(&PyType_Type, "__instancecheck__");
  std::optional<Found> ts = lookup_in_mro(&PyType_Type, "__subclasscheck__");
  if (!ti || !ts) return std::nullopt;
  refs.type_instancecheck = py::Ref::borrow(ti->value);
  refs.type_subclasscheck = py::Ref::borrow(ts->value);
  py::Ref abc = py::Ref::steal(PyImport_ImportModule("abc"));
  if (!abc) return std::nullopt;
  py::Ref meta = py::Ref::steal(PyObject_GetAttrString(abc.get(), "ABCMeta"));
  if (!meta) return std::nullopt;
  if (!PyType_Check(meta.get())) {
    PyErr_SetString(PyExc_TypeError, "abc.ABCMeta is not a class");
    return std::nullopt;
  }
  auto* meta_type = reinterpret_cast<PyTypeObject*>(meta.get());
  std::optional<Found> ai = lookup_in_mro(meta_type, "__instancecheck__");
  std::optional<Found> as = lookup_in_mro(meta_type, "__subclasscheck__");
  if (!ai || !as) return std::nullopt;
  refs.abc_instancecheck = py::Ref::borrow(ai->value);
  refs.abc_subclasscheck = py::Ref::borrow(as->value);
  refs.collections_abc = py::Ref::steal(PyImport_ImportModule("_collections_abc"));
  if (!refs.collections_abc) return std::nullopt;
  return refs;
}

// Whether `owner` is a class of collections.abc itself.
std::optional<bool> is_collections_abc_class(const CheckReferences& refs, PyObject* owner) {
  py::Ref name = py::Ref::steal(PyObject_GetAttrString(owner, "__name__"));
  if (!name) return std::nullopt;
  if (!PyUnicode_Check(name.get())) return false;
  py::Ref same = py::Ref::steal(PyObject_GetAttr(refs.collections_abc.get(), name.get()));
  if (!same) {
    if (!py::clear_if(PyExc_AttributeError)) return std::nullopt;
    return false;
  }
  return same.get() == owner;
}

std::optional<ClassCheck> class_check(const CheckReferences& refs, PyObject* cls) {
  PyTypeObject* meta = Py_TYPE(cls);
  std::optional<Found> inst = lookup_in_mro(meta, "__instancecheck__");
  std::optional<Found> sub = lookup_in_mro(meta, "__subclasscheck__");
  if (!inst || !sub) return std::nullopt;
  if (inst->value == refs.type_instancecheck.get() &&
      sub->value == refs.type_subclasscheck.get()) {
    return ClassCheck::Plain;
  }
  if (inst->value != refs.abc_instancecheck.get() || sub->value != refs.abc_subclasscheck.get()) {
    return ClassCheck::Structural;
  }
  // ABCMeta asks the hook first; object's own answers NotImplemented. The
  // hooks of collections.abc answer only for the class defining them.
  std::optional<Found> hook =
      lookup_in_mro(reinterpret_cast<PyTypeObject*>(cls), "__subclasshook__");
  if (!hook) return std::nullopt;
  if (!hook->owner || hook->owner == reinterpret_cast<PyObject*>(&PyBaseObject_Type)) {
    return ClassCheck::Abc;
  }
  std::optional<bool> known = is_collections_abc_class(refs, hook->owner);
  if (!known) return std::nullopt;
  if (!*known) return ClassCheck::Structural;
  return hook->owner == cls ? ClassCheck::AbcHooked : ClassCheck::Abc;
}

}  // namespace

ClassInclusion nominal_class_inclusion(PyObject* sub, PyObject* sup) {
  if (sub == sup || sup == reinterpret_cast<PyObject*>(&PyBaseObject_Type)) {
    return ClassInclusion::Proven;
  }
  if (!PyType_Check(sub) || !PyType_Check(sup)) return ClassInclusion::Unproven;
  // Through the MRO only: a registration or a hook may admit sub into sup
  // while a subclass of sub is refused.
  if (!PyType_IsSubtype(reinterpret_cast<PyTypeObject*>(sub),
                        reinterpret_cast<PyTypeObject*>(sup))) {
    return ClassInclusion::Unproven;
  }
  const CheckReferences* refs = references_cell().get_or_init(init_references);
  if (!refs) return ClassInclusion::Failed;
  std::optional<ClassCheck> s = class_check(*refs, sub);
  if (!s) return ClassInclusion::Failed;
  std::optional<ClassCheck> t = class_check(*refs, sup);
  if (!t) return ClassInclusion::Failed;
  // Members of sub: classes below it by MRO (Plain), or also by registration
  // and by the subclasses' own checks (Abc), which only an ABC sup follows.
  switch (*s) {
    case ClassCheck::Plain:
      return *t == ClassCheck::Structural ? ClassInclusion::Unproven : ClassInclusion::Proven;
    case ClassCheck::Abc:
      return *t == ClassCheck::Abc || *t == ClassCheck::AbcHooked ? ClassInclusion::Proven
                                                                  : ClassInclusion::Unproven;
    case ClassCheck::AbcHooked:
    case ClassCheck::Structural:
      break;
  }
  return ClassInclusion::Unproven;
}

}  // namespace tarmelix::reasoning
