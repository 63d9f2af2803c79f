#include "check/walk.h"

#include <algorithm>
#include <optional>
#include <string>

#include "check/constraints.h"
#include "check/exception_text.h"
#include "check/fast_sequence.h"
#include "check/quick_test.h"
#include "check/record_walk.h"
#include "check/union_walk.h"
#include "check/walk_plan.h"
#include "errors/errors.h"
#include "py/error.h"
#include "render/render.h"
#include "schema/sequence_shape.h"

namespace tarmelix::check {

namespace {

bool walk_sequence(const SchemaNode& node, PyObject* v, const WalkPath& path, const WalkContext& ctx,
                   ErrorList& errors) {
  if (!node.pattern) return false;
  std::optional<schema::SequenceShape> shape = schema::read_sequence_shape(*node.pattern);
  if (!shape) return false;
  const bool is_list = node.sequence_kind == SequenceKind::List;
  if (is_list ? !PyList_Check(v) : !PyTuple_Check(v)) {
    if (ctx.records()) {
      push_error_record(errors, ctx.mode, is_list ? "list_type" : "tuple_type",
                        is_list ? "list" : "tuple", v, path, ctx.got_when);
    }
    return false;
  }
  const Py_ssize_t tested = is_list ? PyList_GET_SIZE(v) : PyTuple_GET_SIZE(v);
  const size_t k = shape->fixed;
  const size_t n = static_cast<size_t>(tested);
  if (shape->tail ? n < k : n != k) {
    if (ctx.records()) {
      report_length_mismatch(is_list ? "list_length" : "tuple_length", is_list ? "list" : "tuple",
                             k, shape->tail != nullptr, v, path, ctx.mode, errors, ctx.got_when);
    }
    return false;
  }
  bool all = true;
  Py_ssize_t start = 0;
  if (shape->tail && k == 0) {
    SequenceProgress progress =
        walk_fast_sequence(*shape->tail, v, is_list, tested, path, ctx, errors);
    if (progress.decided) return progress.all;
    start = progress.resume;
    all = progress.all;
  }
  Py_ssize_t bound = is_list ? std::min(PyList_GET_SIZE(v), tested) : tested;
  for (Py_ssize_t i = start; i < bound;) {
    PyObject* item = is_list ? PyList_GET_ITEM(v, i) : PyTuple_GET_ITEM(v, i);
    const bool fixed = static_cast<size_t>(i) < k;
    const SchemaNode& item_node = fixed ? shape->item(static_cast<size_t>(i)) : *shape->tail;
    // Tests that run no Python code need no reference to the element and,
    // when they pass, no path segment.
    const int quick = quick_test(item_node, item, ctx.plan);
    bool member;
    if (quick == 1 || (quick == 0 && !ctx.recording())) {
      member = quick == 1 && !ctx.stopped();
    } else {
      py::Ref held = py::Ref::borrow(item);
      member = walk_value(item_node, item, path.index(static_cast<uint64_t>(i)), ctx, errors);
    }
    if (!member) {
      all = false;
      if (ctx.mode != WalkMode::CollectAll) break;
    }
    ++i;
    // User code may have shortened the list; never read past its end, and
    // never past the length that was tested.
    if (is_list) bound = std::min(PyList_GET_SIZE(v), tested);
  }
  return all;
}

bool walk_set(const SchemaNode& node, PyObject* v, const WalkPath& path, const WalkContext& ctx,
              ErrorList& errors) {
  const bool frozen = node.kind == NodeKind::FrozenSet;
  if (frozen ? !PyFrozenSet_Check(v) : !PyObject_TypeCheck(v, &PySet_Type)) {
    if (ctx.records()) {
      push_error_record(errors, ctx.mode, frozen ? "frozen_set_type" : "set_type",
                        frozen ? "frozenset" : "set", v, path, ctx.got_when);
    }
    return false;
  }
  if (!node.child) return false;
  const char* name = frozen ? "frozenset" : "set";
  py::Ref iterator = py::Ref::steal(PyObject_GetIter(v));
  if (!iterator) {
    py::Ref exc = py::take_exception();
    // Making the iterator allocates: running out of memory is no fault of ours.
    if (exc && py::exception_matches(exc.get(), PyExc_MemoryError)) {
      store_fatal_exception(std::move(exc), ctx.state->fatal_error, ctx.state->stop);
      return false;
    }
    py::fault(std::string(name) + " should always be iterable: " +
              (exc ? exception_text(exc.get()) : std::string("no exception")));
  }
  bool all = true;
  while (true) {
    py::Ref item = py::Ref::steal(PyIter_Next(iterator.get()));
    if (!item) {
      py::Ref exc = py::take_exception();
      if (exc) {
        py::fault(std::string(name) + " iteration should be infallible: " +
                  exception_text(exc.get()));
      }
      break;
    }
    const int quick = quick_test(*node.child, item.get(), ctx.plan);
    const bool member = quick == 1 || (quick == 0 && !ctx.recording())
                            ? quick == 1 && !ctx.stopped()
                            : walk_value(*node.child, item.get(), path, ctx, errors);
    if (!member) {
      all = false;
      // After a fatal exception the rest would all answer non-member; a
      // subclass iterator is user code, so stop calling it.
      if (ctx.mode != WalkMode::CollectAll || ctx.stopped()) break;
    }
  }
  return all;
}

bool walk_literal(const SchemaNode& node, PyObject* v, const WalkPath& path, const WalkContext& ctx,
                  ErrorList& errors) {
  PyObject* constant = ctx.constant(node.index);
  if (!constant) return false;
  bool member = false;
  if (Py_TYPE(v) == Py_TYPE(constant)) {
    std::optional<bool> equal = objects_equal(v, constant);
    member = equal ? *equal : ctx.fold_pending();
  }
  if (!member && ctx.records()) {
    push_error_record(errors, ctx.mode, "literal_error", "the literal " + preview_repr(constant), v,
                      path, ctx.got_when);
  }
  return member;
}

bool walk_instance(const SchemaNode& node, PyObject* v, const WalkPath& path, const WalkContext& ctx,
                   ErrorList& errors) {
  PyObject* cls = ctx.constant(node.index);
  if (!cls) return false;
  // The interpreter answers an exact type first too, before any
  // __instancecheck__; testing it here spares the call for the common case.
  if (reinterpret_cast<PyObject*>(Py_TYPE(v)) == cls) return true;
  if (ctx.fold(PyObject_IsInstance(v, cls))) return true;
  if (ctx.records()) {
    push_error_record(errors, ctx.mode, "instance_type", render_class_name(cls), v, path,
                      ctx.got_when);
  }
  return false;
}

// PyObject_GetAttr less its checks that hold here (an exact str name, a
// type with a getattro slot): the slot it would call, called directly.
PyObject* read_attribute(PyObject* v, PyObject* name) {
  getattrofunc get = Py_TYPE(v)->tp_getattro;
  return get ? get(v, name) : PyObject_GetAttr(v, name);
}

bool walk_object(const SchemaNode& node, PyObject* v, const WalkPath& path, const WalkContext& ctx,
                 ErrorList& errors) {
  if (!walk_instance(node, v, path, ctx, errors)) return false;
  if (node.fields.empty()) return true;
  const py::Ref* names = ctx.state->attribute_names.of(node, ctx.plan);
  if (!names) return ctx.fold_pending();
  // Held in locals: the attribute reads call out of the module, after which
  // the compiler would otherwise reload the vector's bounds for every field.
  const RecordField* const fields = node.fields.data();
  const size_t count = node.fields.size();
  bool all = true;
  for (size_t i = 0; i < count; ++i) {
    const RecordField& field = fields[i];
    py::Ref attribute = py::Ref::steal(read_attribute(v, names[i].get()));
    if (!attribute) {
      py::Ref exc = py::take_exception();
      if (exc && is_fatal_exception(exc.get())) {
        store_fatal_exception(std::move(exc), ctx.state->fatal_error, ctx.state->stop);
        return false;
      }
      all = false;
      if (ctx.records()) {
        errors.push_back(make_key_error_record(path, field.name, "missing_attribute",
                                               "attribute " + quote_text(field.name), "missing"));
      }
    } else {
      // A passing type-only test needs no path segment.
      int quick = quick_test(field.node, attribute.get(), ctx.plan);
      bool member;
      if (quick == 1 || (quick == 0 && !ctx.recording())) {
        member = quick == 1 && !ctx.stopped();
      } else {
        member = walk_value(field.node, attribute.get(), path.key(field.name), ctx, errors);
      }
      if (!member) all = false;
    }
    if (!all && ctx.mode != WalkMode::CollectAll) break;
  }
  return all;
}

bool walk_constrained(const SchemaNode& node, PyObject* v, const WalkPath& path, const WalkContext& ctx,
                      ErrorList& errors) {
  if (!node.child || !walk_value(*node.child, v, path, ctx, errors)) return false;
  const PlanEntry* e = ctx.plan ? ctx.plan->entry(node) : nullptr;
  const PlanBounds* natives = e && e->bounds != NO_FACT ? &ctx.plan->bounds[e->bounds] : nullptr;
  bool all = true;
  for (size_t i = 0; i < node.constraints.size(); ++i) {
    const Constraint& constraint = node.constraints[i];
    const NativeBound* native = natives ? &natives->bounds[i] : nullptr;
    if (!check_constraint(constraint, v, path, ctx, errors, native)) {
      all = false;
      if (ctx.mode != WalkMode::CollectAll) break;
    }
  }
  return all;
}

// Scalars end their walk at once; only containers can be reached again down
// several union members at a cost worth keeping an answer for.
bool worth_remembering(PyObject* v) {
  return !(PyLong_CheckExact(v) || PyUnicode_CheckExact(v) || PyFloat_CheckExact(v) ||
           PyBool_Check(v) || v == Py_None);
}

// Appends a kept answer's records where the walk stands now: the very
// records when it was walked at this path, copies under this path when the
// value is reached at another.
void use_kept_records(const DefinitionMemo::Answer& answer, const WalkPath& path,
                      const WalkContext& ctx, ErrorList& errors) {
  const size_t first = errors.size();
  if (answer.path_depth == path.depth() && path_starts_with(answer.records.front()->path, path)) {
    for (const SharedRecord& r : answer.records) errors.push_back(r);
  } else {
    const Path here = copy_path(path);
    for (const SharedRecord& r : answer.records) {
      Path full = here;
      full.insert(full.end(), r->path.begin() + static_cast<std::ptrdiff_t>(answer.path_depth),
                  r->path.end());
      errors.push_back(
          ErrorRecord{std::move(full), r->expected, r->got, r->code, r->got_value, r->got_pending});
    }
  }
  // An answer kept inside a union's attribution may be used outside it.
  if (ctx.got_when == GotWhen::Now) make_pending_got_texts(errors, first);
}

bool walk_definition_ref(const SchemaNode& node, PyObject* v, const WalkPath& path,
                         const WalkContext& ctx, ErrorList& errors) {
  const uint64_t identity = reinterpret_cast<uintptr_t>(v);
  WalkState& state = *ctx.state;
  DefinitionMemo& memo = state.definition_memo;
  // A CollectAll answer keeps every record its walk makes, also those the
  // list holds already, so that walk fills a list of its own. (A StopAtFirst
  // answer is kept only when it admits, so holds no records.)
  ErrorList own;
  ErrorList* into = &errors;
  const bool member = walk_definition_once(
      memo, state.recursion_guard, state.stop, identity, node.index, ctx.mode,
      worth_remembering(v),
      [&](const DefinitionMemo::Answer& answer) {
        if (ctx.records() && !answer.records.empty()) use_kept_records(answer, path, ctx, errors);
        return answer.member;
      },
      [&](GuardEntry refusal) {
        if (!ctx.records()) return false;
        if (refusal == GuardEntry::Loop) {
          push_error_record(errors, ctx.mode, "recursion_loop", "a finite (non-cyclic) value", v,
                            path, ctx.got_when);
        } else {
          push_error_record(errors, ctx.mode, "recursion_limit",
                            "at most " + std::to_string(RECURSION_GUARD_LIMIT) +
                                " levels of recursion",
                            v, path, ctx.got_when);
        }
        return false;
      },
      [&](bool kept) {
        if (kept && ctx.mode == WalkMode::CollectAll && !errors.empty()) into = &own;
        return node.index < ctx.definitions->size() &&
               walk_value((*ctx.definitions)[node.index], v, path, ctx, *into);
      },
      [&](DefinitionMemo::Answer answer) {
        answer.path_depth = path.depth();
        if (ctx.mode == WalkMode::CollectAll) answer.records = shared_records(*into);
        memo.remember(identity, node.index, ctx.mode, std::move(answer), py::Ref::borrow(v));
      });
  if (into == &own) errors.append(own);
  return member;
}

}  // namespace

bool walk_value(const SchemaNode& node, PyObject* value, const WalkPath& path, const WalkContext& ctx,
                ErrorList& errors) {
  if (ctx.stopped()) return false;
  int scalar = scalar_test(node.kind, value);
  if (scalar >= 0) {
    if (scalar == 0 && ctx.records()) {
      report_kind_mismatch(false, node, value, path, ctx.mode, errors, ctx.got_when);
    }
    return scalar == 1;
  }
  // Every other step may descend or run user code.
  if (!ctx.has_stack_room()) return false;
  switch (node.kind) {
    case NodeKind::Literal:
      return walk_literal(node, value, path, ctx, errors);
    case NodeKind::Sequence:
      return walk_sequence(node, value, path, ctx, errors);
    case NodeKind::Set:
    case NodeKind::FrozenSet:
      return walk_set(node, value, path, ctx, errors);
    case NodeKind::Record:
      return walk_record_node(node, value, path, ctx, errors);
    case NodeKind::Union:
      return walk_union(node, value, path, ctx, errors);
    case NodeKind::Intersection: {
      DefinitionMemo& memo = ctx.state->definition_memo;
      const uint64_t entered = memo.entered;
      bool all = true;
      for (const SchemaNode& member : node.members) {
        const bool admitted = walk_value(member, value, path, ctx, errors);
        memo.note_repeat(entered);
        if (!admitted) {
          all = false;
          if (ctx.mode != WalkMode::CollectAll) break;
        }
      }
      return all;
    }
    case NodeKind::Complement: {
      if (!node.child) return false;
      if (!walk_value(*node.child, value, path, ctx.with_mode(WalkMode::CheckOnly), errors)) {
        return !ctx.stopped();
      }
      if (ctx.records()) {
        push_error_record(errors, ctx.mode, "unexpected_match",
                          std::string("not ") + kind_display_name(*node.child), value, path,
                          ctx.got_when);
      }
      return false;
    }
    case NodeKind::Instance:
      return walk_instance(node, value, path, ctx, errors);
    case NodeKind::Object:
      return walk_object(node, value, path, ctx, errors);
    case NodeKind::Constrained:
      return walk_constrained(node, value, path, ctx, errors);
    case NodeKind::DefinitionRef:
      return walk_definition_ref(node, value, path, ctx, errors);
    case NodeKind::RecursionVariable:
      if (ctx.records()) {
        push_error_record(errors, ctx.mode, "unresolved_recursion", "a resolved recursive value",
                          value, path, ctx.got_when);
      }
      return false;
    default:
      return false;
  }
}

}  // namespace tarmelix::check
