#include "check/fast_sequence.h"

#include <algorithm>

#include "check/quick_test.h"
#include "check/record_walk.h"
#include "check/union_walk.h"
#include "check/walk.h"

namespace tarmelix::check {

namespace {

// The elements' tests run no Python code, so the sequence cannot change
// under the loop and a failing element can be handed back untouched.
SequenceProgress pure_outcome(Py_ssize_t failed, Py_ssize_t tested, const WalkContext& ctx) {
  if (failed == tested) return {true, true, 0};
  if (!ctx.recording()) return {true, false, 0};
  return {false, true, failed};
}

// The index of the first element that fails `test`, or n.
template <class Test>
Py_ssize_t first_failure(PyObject* const* items, Py_ssize_t n, Test test) {
  for (Py_ssize_t i = 0; i < n; ++i) {
    if (!test(items[i])) return i;
  }
  return n;
}

// A scalar kind's own type test over the elements (subclasses included, as
// the walk tests them); -1 for a kind with no such loop.
Py_ssize_t first_scalar_failure(NodeKind kind, PyObject* const* items, Py_ssize_t n) {
  switch (kind) {
    case NodeKind::Int:
      return first_failure(items, n, [](PyObject* o) { return PyLong_Check(o); });
    case NodeKind::Float:
      return first_failure(items, n, [](PyObject* o) { return PyFloat_Check(o); });
    case NodeKind::Str:
      return first_failure(items, n, [](PyObject* o) { return PyUnicode_Check(o); });
    case NodeKind::Bool:
      return first_failure(items, n, [](PyObject* o) { return Py_IS_TYPE(o, &PyBool_Type); });
    default:
      return -1;
  }
}

// Exact types in the mask pass; an element of a type with no bit (a
// subclass, a container) is handed back to the general loop.
SequenceProgress typed_elements(uint8_t mask, PyObject* const* items, Py_ssize_t tested,
                                const WalkContext& ctx) {
  for (Py_ssize_t i = 0; i < tested; ++i) {
    const uint8_t bit = py_type_bit(items[i]);
    if (mask & bit) continue;
    if (bit == 0) return {false, true, i};
    return pure_outcome(i, tested, ctx);
  }
  return {true, true, 0};
}

SequenceProgress literal_elements(const PlanLiterals& literals, PyObject* const* items,
                                  Py_ssize_t tested, const WalkContext& ctx) {
  for (Py_ssize_t i = 0; i < tested; ++i) {
    std::optional<bool> member = literals_answer(literals, items[i]);
    if (!member) return {false, true, i};
    if (!*member) return pure_outcome(i, tested, ctx);
  }
  return {true, true, 0};
}

// The general loop's steps for a record element, with the record's entry
// found once for the whole sequence. Field walks may run Python code, so
// the list's bound is taken again after every element.
SequenceProgress record_elements(const SchemaNode& node, const PlanRecord& record, PyObject* v,
                                 bool is_list, Py_ssize_t tested, const WalkPath& path,
                                 const WalkContext& ctx, ErrorList& errors) {
  bool all = true;
  Py_ssize_t bound = tested;
  for (Py_ssize_t i = 0; i < bound;) {
    if (ctx.stopped()) return {false, all, i};
    PyObject* item = is_list ? PyList_GET_ITEM(v, i) : PyTuple_GET_ITEM(v, i);
    py::Ref held = py::Ref::borrow(item);
    if (!record_member(node, item, ctx, &record)) {
      if (ctx.records()) {
        walk_record(node.fields, node.clauses, item, path.index(static_cast<uint64_t>(i)), ctx,
                    errors, &record);
      }
      all = false;
      if (ctx.mode != WalkMode::CollectAll) return {true, false, 0};
    }
    ++i;
    if (is_list) bound = std::min(PyList_GET_SIZE(v), tested);
  }
  return {true, all, 0};
}

}  // namespace

std::optional<bool> literals_answer(const PlanLiterals& literals, PyObject* value) {
  // A constant of a type compared by identity equals itself; the check is
  // made again here in case the type's comparison was replaced since.
  if (literals.identities.contains(reinterpret_cast<uintptr_t>(value))) {
    PyTypeObject* type = Py_TYPE(value);
    if (type == &PyLong_Type || type == &PyUnicode_Type ||
        type->tp_richcompare == PyBaseObject_Type.tp_richcompare ||
        type->tp_richcompare == PyLong_Type.tp_richcompare ||
        type->tp_richcompare == PyUnicode_Type.tp_richcompare) {
      return true;
    }
  }
  return literal_sets_lookup(literals.sets, value);
}

SequenceProgress walk_fast_sequence(const SchemaNode& element, PyObject* v, bool is_list,
                                    Py_ssize_t tested, const WalkPath& path, const WalkContext& ctx,
                                    ErrorList& errors) {
  const WalkPlan* plan = ctx.plan;
  if (!plan) return {false, true, 0};
  const PlanEntry* e = plan->entry(element);
  if (!e) return {false, true, 0};
  PyObject* const* items = PySequence_Fast_ITEMS(v);
  if (e->by_type) {
    const Py_ssize_t failed = first_scalar_failure(element.kind, items, tested);
    if (failed >= 0) return pure_outcome(failed, tested, ctx);
    return typed_elements(e->py_types, items, tested, ctx);
  }
  if (e->exact_class) {
    // Instances of exactly the class pass; any other value is for the walk.
    PyTypeObject* cls = reinterpret_cast<PyTypeObject*>(e->exact_class);
    for (Py_ssize_t i = 0; i < tested; ++i) {
      if (Py_TYPE(items[i]) != cls) return {false, true, i};
    }
    return {true, true, 0};
  }
  if (e->literals != NO_FACT) return literal_elements(plan->literals[e->literals], items, tested, ctx);
  if (e->record != NO_FACT && !plan->records[e->record].names.empty()) {
    return record_elements(element, plan->records[e->record], v, is_list, tested, path, ctx, errors);
  }
  return {false, true, 0};
}

}  // namespace tarmelix::check
