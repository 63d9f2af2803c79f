#include "check/fast_sequence.h"

#include <algorithm>

#include "check/record_walk.h"
#include "check/union_walk.h"
#include "check/walk.h"

namespace tarmelix::check {

namespace {

// The index of the first element that fails `test`, or n.
template <class Test>
Py_ssize_t first_failure(PyObject* const* items, Py_ssize_t n, Test test) {
  for (Py_ssize_t i = 0; i < n; ++i) {
    if (!test(items[i])) return i;
  }
  return n;
}

Py_ssize_t first_scalar_failure(NodeKind kind, PyObject* const* items, Py_ssize_t n) {
  switch (kind) {
    case NodeKind::Anything:
    case NodeKind::Any:
      return n;
    case NodeKind::NoneValue:
      return first_failure(items, n, [](PyObject* o) { return o == Py_None; });
    case NodeKind::Bool:
      return first_failure(items, n, [](PyObject* o) { return Py_IS_TYPE(o, &PyBool_Type); });
    case NodeKind::Int:
      return first_failure(items, n, [](PyObject* o) { return PyLong_Check(o); });
    case NodeKind::Float:
      return first_failure(items, n, [](PyObject* o) { return PyFloat_Check(o); });
    case NodeKind::Str:
      return first_failure(items, n, [](PyObject* o) { return PyUnicode_Check(o); });
    case NodeKind::Bytes:
      return first_failure(items, n, [](PyObject* o) { return PyBytes_Check(o); });
    default:
      return 0;
  }
}

// The elements' tests run no Python code, so the sequence cannot change
// under the loop and a failing element can be handed back untouched.
SequenceProgress pure_outcome(Py_ssize_t failed, Py_ssize_t tested, const WalkContext& ctx) {
  if (failed == tested) return {true, true, 0};
  if (!ctx.recording()) return {true, false, 0};
  return {false, true, failed};
}

SequenceProgress literal_elements(const FastLiterals& literals, PyObject* const* items,
                                  Py_ssize_t tested, const WalkContext& ctx) {
  for (Py_ssize_t i = 0; i < tested; ++i) {
    std::optional<bool> member = fast_literals_answer(literals, items[i]);
    if (!member) return {false, true, i};
    if (!*member) return pure_outcome(i, tested, ctx);
  }
  return {true, true, 0};
}

// The general loop's steps for a record element, with the record's entry
// found once for the whole sequence. Field walks may run Python code, so
// the list's bound is taken again after every element.
SequenceProgress record_elements(const FastSequence& fast, PyObject* v, bool is_list,
                                 Py_ssize_t tested, const WalkPath& path, const WalkContext& ctx,
                                 ErrorList& errors) {
  const SchemaNode& node = *fast.record_node;
  bool all = true;
  Py_ssize_t bound = tested;
  for (Py_ssize_t i = 0; i < bound;) {
    if (ctx.stopped()) return {false, all, i};
    PyObject* item = is_list ? PyList_GET_ITEM(v, i) : PyTuple_GET_ITEM(v, i);
    py::Ref held = py::Ref::borrow(item);
    if (!record_member(node, item, ctx, fast.record)) {
      if (ctx.records()) {
        walk_record(node.fields, node.clauses, item, path.index(static_cast<uint64_t>(i)), ctx,
                    errors);
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

std::optional<bool> fast_literals_answer(const FastLiterals& literals, PyObject* value) {
  if (literals.identities.contains(reinterpret_cast<uintptr_t>(value))) return true;
  return literal_sets_lookup(*literals.sets, value);
}

SequenceProgress walk_fast_sequence(const FastSequence& fast, PyObject* v, bool is_list,
                                    Py_ssize_t tested, const WalkPath& path, const WalkContext& ctx,
                                    ErrorList& errors) {
  PyObject* const* items = PySequence_Fast_ITEMS(v);
  switch (fast.test) {
    case ElementTest::Scalar:
      return pure_outcome(first_scalar_failure(fast.scalar, items, tested), tested, ctx);
    case ElementTest::Literals:
      return literal_elements(*fast.literals, items, tested, ctx);
    case ElementTest::Record:
      return record_elements(fast, v, is_list, tested, path, ctx, errors);
  }
  return {false, true, 0};
}

}  // namespace tarmelix::check
