#include "check/constraints.h"

#include <re2/re2.h>

#include <string>

#include "check/exception_text.h"
#include "check/walk.h"
#include "check/quick_test.h"
#include "check/walk_plan.h"
#include "py/error.h"
#include "py/once.h"
#include "py/text.h"
#include "render/render.h"
#include "schema/full_match.h"

namespace tarmelix::check {

namespace {

// The interned name "__mod__", made once per process.
PyObject* mod_method_name() {
  static py::OnceCell<py::Ref>* cell = new py::OnceCell<py::Ref>();
  const py::Ref* name = cell->get_or_init([]() -> std::optional<py::Ref> {
    py::Ref text = py::Ref::steal(PyUnicode_InternFromString("__mod__"));
    if (!text) return std::nullopt;
    return text;
  });
  return name ? name->get() : nullptr;
}

struct BoundText {
  int op;
  const char* symbol;
  const char* code;
};

BoundText bound_text(ConstraintKind kind) {
  switch (kind) {
    case ConstraintKind::Ge:
      return {Py_GE, ">=", "greater_than_equal"};
    case ConstraintKind::Gt:
      return {Py_GT, ">", "greater_than"};
    case ConstraintKind::Le:
      return {Py_LE, "<=", "less_than_equal"};
    default:
      return {Py_LT, "<", "less_than"};
  }
}

void record(const char* code, std::string_view expected, PyObject* value, const WalkPath& path,
            const WalkContext& ctx, ErrorList& errors) {
  if (ctx.records()) push_error_record(errors, ctx.mode, code, expected, value, path, ctx.got_when);
}

// The truth of a new reference that may be null (a failed call), folded.
bool folded_truth(const py::Ref& result, const WalkContext& ctx) {
  if (!result) return ctx.fold_pending();
  return ctx.fold(PyObject_IsTrue(result.get()));
}

bool full_match(const std::string& pattern, std::string_view text, const WalkContext& ctx) {
  const re2::RE2* compiled = find_compiled_pattern(ctx.plan, pattern);
  std::unique_ptr<re2::RE2> fresh;
  if (!compiled && ctx.patterns) {
    compiled = ctx.patterns->get(pattern);
    if (!compiled) return false;
  } else if (!compiled) {
    fresh = compile_full_match(pattern, nullptr);
    if (!fresh) return false;
    compiled = fresh.get();
  }
  return compiled->Match(re2::StringPiece(text.data(), text.size()), 0, text.size(),
                         re2::RE2::UNANCHORED, nullptr, 0);
}

// The order of an exact int, bool or float against a native bound, or empty
// where the interpreter compares.
std::optional<int> native_order(PyObject* value, const NativeBound& bound) {
  if (bound.type == NativeBound::Type::Other) return std::nullopt;
  PyTypeObject* type = Py_TYPE(value);
  if (type == &PyLong_Type) {
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(value, &overflow);
    if (overflow != 0) return std::nullopt;
    return order_of_int(v, bound);
  }
  if (type == &PyFloat_Type) return order_of_float(PyFloat_AS_DOUBLE(value), bound);
  if (type == &PyBool_Type) return order_of_int(value == Py_True ? 1 : 0, bound);
  return std::nullopt;
}

}  // namespace

std::optional<bool> constraint_in_place(const Constraint& constraint, const NativeBound& native,
                                        const re2::RE2* pattern, PyObject* value) {
  switch (constraint.kind) {
    case ConstraintKind::Ge:
    case ConstraintKind::Gt:
    case ConstraintKind::Le:
    case ConstraintKind::Lt: {
      std::optional<int> order = native_order(value, native);
      if (!order) return std::nullopt;
      return bound_holds(constraint.kind, *order);
    }
    case ConstraintKind::MinLen:
    case ConstraintKind::MaxLen: {
      // The sizes of exact built-in types, which no __len__ of the user's
      // can change.
      PyTypeObject* type = Py_TYPE(value);
      Py_ssize_t size;
      if (type == &PyUnicode_Type) {
        size = PyUnicode_GET_LENGTH(value);
      } else if (type == &PyList_Type) {
        size = PyList_GET_SIZE(value);
      } else if (type == &PyTuple_Type) {
        size = PyTuple_GET_SIZE(value);
      } else if (type == &PyDict_Type) {
        size = PyDict_GET_SIZE(value);
      } else if (type == &PyBytes_Type) {
        size = PyBytes_GET_SIZE(value);
      } else {
        return std::nullopt;
      }
      const uint64_t n = static_cast<uint64_t>(size);
      return constraint.kind == ConstraintKind::MinLen ? n >= constraint.value
                                                       : n <= constraint.value;
    }
    case ConstraintKind::Regex: {
      if (!pattern || !PyUnicode_CheckExact(value)) return std::nullopt;
      std::optional<std::string_view> utf8 = py::utf8_view(value);
      if (!utf8) return std::nullopt;
      return pattern->Match(re2::StringPiece(utf8->data(), utf8->size()), 0, utf8->size(),
                            re2::RE2::UNANCHORED, nullptr, 0);
    }
    default:
      return std::nullopt;
  }
}

bool check_constraint(const Constraint& constraint, PyObject* value, const WalkPath& path,
                      const WalkContext& ctx, ErrorList& errors, const NativeBound* native) {
  switch (constraint.kind) {
    case ConstraintKind::Ge:
    case ConstraintKind::Gt:
    case ConstraintKind::Le:
    case ConstraintKind::Lt: {
      PyObject* bound = ctx.constant(constraint.value);
      if (!bound) return false;
      BoundText t = bound_text(constraint.kind);
      std::optional<int> order = native ? native_order(value, *native) : std::nullopt;
      if (order ? bound_holds(constraint.kind, *order) :
                  folded_truth(py::Ref::steal(PyObject_RichCompare(value, bound, t.op)), ctx)) {
        return true;
      }
      if (ctx.records()) {
        record(t.code, std::string(t.symbol) + " " + preview_repr(bound), value, path, ctx, errors);
      }
      return false;
    }
    case ConstraintKind::MinLen:
    case ConstraintKind::MaxLen: {
      const bool min = constraint.kind == ConstraintKind::MinLen;
      Py_ssize_t size = PyObject_Size(value);
      bool ok;
      if (size < 0) {
        ok = ctx.fold_pending();
      } else {
        uint64_t n = static_cast<uint64_t>(size);
        ok = min ? n >= constraint.value : n <= constraint.value;
      }
      if (ok) return true;
      record(min ? "too_short" : "too_long",
             std::string(min ? "length >= " : "length <= ") + std::to_string(constraint.value),
             value, path, ctx, errors);
      return false;
    }
    case ConstraintKind::MultipleOf: {
      PyObject* divisor = ctx.constant(constraint.value);
      if (!divisor) return false;
      PyObject* name = mod_method_name();
      if (!name) return ctx.fold_pending();
      // The slot before the arguments is scratch space the callee may use.
      PyObject* args[3] = {nullptr, value, divisor};
      py::Ref remainder = py::Ref::steal(PyObject_VectorcallMethod(
          name, args + 1, 2 | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr));
      bool ok = false;
      if (!remainder) {
        ctx.fold_pending();
      } else {
        int truth = PyObject_IsTrue(remainder.get());
        ok = truth == 0;
        if (truth < 0) ctx.fold_pending();
      }
      if (ok) return true;
      if (ctx.records()) {
        record("multiple_of", "a multiple of " + preview_repr(divisor), value, path, ctx, errors);
      }
      return false;
    }
    case ConstraintKind::Predicate: {
      PyObject* predicate = ctx.constant(constraint.value);
      if (!predicate) return false;
      py::Ref result = py::Ref::steal(PyObject_CallOneArg(predicate, value));
      int truth = result ? PyObject_IsTrue(result.get()) : -1;
      if (truth > 0) return true;
      if (truth < 0) {
        py::Ref exc = py::take_exception();
        if (exc && is_fatal_exception(exc.get())) {
          store_fatal_exception(std::move(exc), ctx.state->fatal_error, ctx.state->stop);
          return false;
        }
        if (exc && ctx.records()) {
          std::string raised = exception_text(exc.get());
          if (PyErr_Occurred()) return ctx.fold_pending();
          record("predicate_error", "a predicate that does not raise (raised " + raised + ")",
                 value, path, ctx, errors);
        }
        return false;
      }
      record("predicate_failed", "a passing predicate", value, path, ctx, errors);
      return false;
    }
    case ConstraintKind::Regex: {
      bool ok = false;
      if (PyUnicode_Check(value)) {
        if (std::optional<std::string_view> utf8 = py::utf8_view_or_error(value)) {
          ok = full_match(constraint.pattern, *utf8, ctx);
        } else if (PyErr_Occurred()) {
          return ctx.fold_pending();
        }
      }
      if (ok) return true;
      if (ctx.records()) {
        record("string_pattern_mismatch", "a string matching " + quote_text(constraint.pattern),
               value, path, ctx, errors);
      }
      return false;
    }
  }
  return false;
}

int constrained_quick_test(const SchemaNode& node, const PlanBounds& bounds, PyObject* v,
                           const WalkPlan* plan) {
  if (!node.child) return -1;
  const int base = quick_test(*node.child, v, plan);
  if (base <= 0) return base;
  for (size_t i = 0; i < node.constraints.size(); ++i) {
    std::optional<bool> held =
        constraint_in_place(node.constraints[i], bounds.bounds[i], bounds.patterns[i], v);
    if (!held) return -1;
    if (!*held) return 0;
  }
  return 1;
}

}  // namespace tarmelix::check
