#include "check/native_bound.h"

namespace tarmelix::check {

NativeBound make_native_bound(const Constraint& constraint, const Constants& constants) {
  NativeBound native;
  switch (constraint.kind) {
    case ConstraintKind::Ge:
    case ConstraintKind::Gt:
    case ConstraintKind::Le:
    case ConstraintKind::Lt:
      break;
    default:
      return native;
  }
  if (constraint.value >= constants.size()) return native;
  PyObject* bound = constants[constraint.value].get();
  if (PyLong_CheckExact(bound)) {
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(bound, &overflow);
    if (overflow == 0 && !(v == -1 && PyErr_Occurred())) {
      native.type = NativeBound::Type::Int;
      native.integer = v;
    } else if (overflow != 0) {
      native.type = overflow > 0 ? NativeBound::Type::AboveInt64 : NativeBound::Type::BelowInt64;
    } else {
      // No native bound: the check asks the interpreter, which reports.
      PyErr_Clear();
    }
  } else if (PyFloat_CheckExact(bound)) {
    native.type = NativeBound::Type::Float;
    native.number = PyFloat_AS_DOUBLE(bound);
  }
  return native;
}

}  // namespace tarmelix::check
