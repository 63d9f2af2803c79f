#include "reasoning/leaf_oracle.h"

#include <optional>

#include "check/validate.h"
#include "reasoning/class_membership.h"
#include "py/once.h"

namespace tarmelix::reasoning {

namespace {

struct MathFunctions {
  py::Ref floor;
  py::Ref ceil;
};

// Looked up once per process; never released (it would outlive the
// interpreter).
py::OnceCell<MathFunctions>& math_functions_cell() {
  static auto* cell = new py::OnceCell<MathFunctions>();
  return *cell;
}

std::optional<MathFunctions> init_math_functions() {
  py::Ref name = py::Ref::steal(PyUnicode_FromString("math"));
  if (!name) return std::nullopt;
  py::Ref module = py::Ref::steal(PyImport_Import(name.get()));
  if (!module) return std::nullopt;
  py::Ref floor = py::Ref::steal(PyObject_GetAttrString(module.get(), "floor"));
  if (!floor) return std::nullopt;
  py::Ref ceil = py::Ref::steal(PyObject_GetAttrString(module.get(), "ceil"));
  if (!ceil) return std::nullopt;
  return MathFunctions{std::move(floor), std::move(ceil)};
}

// A method call, not the operator: no reflected method is tried.
py::Ref call_method_with_one(PyObject* object, const char* name) {
  py::Ref method = py::Ref::steal(PyUnicode_FromString(name));
  if (!method) return {};
  py::Ref one = py::Ref::steal(PyLong_FromLong(1));
  if (!one) return {};
  PyObject* args[] = {object, one.get()};
  return py::Ref::steal(PyObject_VectorcallMethod(
      method.get(), args, 2 | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr));
}

// Python truth of `a op b`; empty with the indicator set when either raises.
std::optional<bool> compare_true(PyObject* a, PyObject* b, int op) {
  py::Ref result = py::Ref::steal(PyObject_RichCompare(a, b, op));
  if (!result) return std::nullopt;
  int truth = PyObject_IsTrue(result.get());
  if (truth < 0) return std::nullopt;
  return truth != 0;
}

// Equal, less, greater, in that order; Undecided (indicator cleared) when a
// comparison raises or none holds.
ConstantOrder order_objects(PyObject* a, PyObject* b) {
  static constexpr std::pair<int, ConstantOrder> tries[] = {
      {Py_EQ, ConstantOrder::Equal}, {Py_LT, ConstantOrder::Less}, {Py_GT, ConstantOrder::Greater}};
  for (auto [op, order] : tries) {
    std::optional<bool> holds = compare_true(a, b, op);
    if (!holds) {
      // A decision never raises: whatever the comparison raised, unproven.
      PyErr_Clear();
      return ConstantOrder::Undecided;
    }
    if (*holds) return order;
  }
  return ConstantOrder::Undecided;
}

py::Ref call_one(PyObject* function, PyObject* arg) {
  return py::Ref::steal(PyObject_CallOneArg(function, arg));
}

}  // namespace

LeafAnswer PoolOracle::leaf_relation(const SchemaNode& s, const SchemaNode& t) const {
  const uint64_t count = constants_.size();
  if (s.kind == NodeKind::Instance && t.kind == NodeKind::Instance && s.index < count &&
      t.index < count) {
    PyObject* c1 = constants_[s.index].get();
    PyObject* c2 = constants_[t.index].get();
    if (!PyType_Check(c1)) return LeafAnswer::No;
    int r = PyObject_IsSubclass(c1, c2);
    if (r < 0) {
      // A decision never raises: a subclass check that fails proves nothing.
      PyErr_Clear();
      return LeafAnswer::No;
    }
    if (r == 0) return LeafAnswer::No;
    switch (nominal_class_inclusion(c1, c2)) {
      case ClassInclusion::Proven:
        return LeafAnswer::Yes;
      case ClassInclusion::Unproven:
        return LeafAnswer::Undecided;
      case ClassInclusion::Failed:
        PyErr_Clear();  // a decision never raises; the inclusion stays unproven
        return LeafAnswer::Undecided;
    }
    return LeafAnswer::Undecided;
  }
  if (s.kind == NodeKind::Literal && s.index < count) {
    std::optional<bool> member =
        check_node_membership(t, constants_, definitions_, constants_[s.index].get(), patterns_);
    // A fatal exception kept by the walk stopped it as a non-member; a
    // decision never raises, so it is dropped whatever it is.
    if (!member || PyErr_Occurred()) {
      PyErr_Clear();
      return LeafAnswer::No;
    }
    return *member ? LeafAnswer::Yes : LeafAnswer::No;
  }
  return LeafAnswer::Undecided;
}

ConstantOrder PoolOracle::compare_constants(uint64_t i, uint64_t j) const {
  if (i >= constants_.size() || j >= constants_.size()) return ConstantOrder::Undecided;
  return order_objects(constants_[i].get(), constants_[j].get());
}

LeafAnswer PoolOracle::no_integer_between(uint64_t lower, bool lower_exclusive, uint64_t upper,
                                          bool upper_exclusive) const {
  const MathFunctions* math = math_functions_cell().get_or_init(init_math_functions);
  if (!math) {
    // A decision never raises; the next call tries the import again.
    PyErr_Clear();
    return LeafAnswer::Undecided;
  }
  if (lower >= constants_.size() || upper >= constants_.size()) return LeafAnswer::Undecided;

  auto undecided = [] {
    // A decision never raises: a bound that cannot be rounded is unproven.
    PyErr_Clear();
    return LeafAnswer::Undecided;
  };
  // Least admissible integer above the lower bound.
  py::Ref lo = call_one(lower_exclusive ? math->floor.get() : math->ceil.get(),
                        constants_[lower].get());
  if (!lo) return undecided();
  if (lower_exclusive) {
    lo = call_method_with_one(lo.get(), "__add__");
    if (!lo) return undecided();
  }
  // Greatest admissible integer below the upper bound.
  py::Ref hi = call_one(upper_exclusive ? math->ceil.get() : math->floor.get(),
                        constants_[upper].get());
  if (!hi) return undecided();
  if (upper_exclusive) {
    hi = call_method_with_one(hi.get(), "__sub__");
    if (!hi) return undecided();
  }
  switch (order_objects(lo.get(), hi.get())) {
    case ConstantOrder::Greater:
      return LeafAnswer::Yes;
    case ConstantOrder::Equal:
    case ConstantOrder::Less:
      return LeafAnswer::No;
    case ConstantOrder::Undecided:
      break;
  }
  return LeafAnswer::Undecided;
}

}  // namespace tarmelix::reasoning
