#include "frontend/typing_forms.h"

#include <string>
#include <vector>

#include "frontend/constructors.h"
#include "frontend/frontend.h"
#include "frontend/probes.h"
#include "render/render.h"
#include "schema/typing_cache.h"

namespace tarmelix::frontend {

namespace {

using Built = std::optional<SchemaNode>;

constexpr const char* kOneArgument = "expected exactly one type argument";

PyObject* builtin(PyTypeObject& type) { return reinterpret_cast<PyObject*>(&type); }

// Builds every item in order; an item that is `...` is refused with
// `ellipsis_message` before it is built.
std::optional<std::vector<SchemaNode>> build_items(const std::vector<py::Ref>& items,
                                                   const char* ellipsis_message,
                                                   ConstantsPool& pool,
                                                   DefinitionTable& definitions) {
  std::vector<SchemaNode> nodes;
  nodes.reserve(items.size());
  for (const py::Ref& item : items) {
    if (schema::is_ellipsis(item.get())) {
      frontend_error(ellipsis_message);
      return std::nullopt;
    }
    Built node = build_schema(item.get(), pool, definitions);
    if (!node) return std::nullopt;
    nodes.push_back(std::move(*node));
  }
  return nodes;
}

// The shared rules of tuple[...] and list literals: a trailing `...` repeats
// the item before it; otherwise the items are fixed.
std::optional<SequencePattern> build_sequence_pattern(std::vector<py::Ref> items,
                                                      const char* ellipsis_message,
                                                      ConstantsPool& pool,
                                                      DefinitionTable& definitions) {
  const size_t n = items.size();
  if (n >= 2 && schema::is_ellipsis(items.back().get())) {
    items.pop_back();
    auto nodes = build_items(items, ellipsis_message, pool, definitions);
    if (!nodes) return std::nullopt;
    SchemaNode tail = std::move(nodes->back());
    nodes->pop_back();
    if (nodes->empty()) return build_repeat_pattern(std::move(tail));
    return build_prefix_repeat_pattern(std::move(*nodes), std::move(tail));
  }
  auto nodes = build_items(items, ellipsis_message, pool, definitions);
  if (!nodes) return std::nullopt;
  return build_fixed_pattern(std::move(*nodes));
}

std::vector<py::Ref> tuple_items(PyObject* tuple) {
  std::vector<py::Ref> items;
  const Py_ssize_t n = PyTuple_GET_SIZE(tuple);
  items.reserve(static_cast<size_t>(n));
  for (Py_ssize_t i = 0; i < n; ++i) items.push_back(py::Ref::borrow(PyTuple_GET_ITEM(tuple, i)));
  return items;
}

std::optional<std::vector<SchemaNode>> build_all(PyObject* args, ConstantsPool& pool,
                                                 DefinitionTable& definitions) {
  std::vector<SchemaNode> nodes;
  const Py_ssize_t n = PyTuple_GET_SIZE(args);
  nodes.reserve(static_cast<size_t>(n));
  for (Py_ssize_t i = 0; i < n; ++i) {
    Built node = build_schema(PyTuple_GET_ITEM(args, i), pool, definitions);
    if (!node) return std::nullopt;
    nodes.push_back(std::move(*node));
  }
  return nodes;
}

Built build_single(PyObject* args, ConstantsPool& pool, DefinitionTable& definitions) {
  py::Ref item = take_single_type_argument(args);
  if (!item) return std::nullopt;
  return build_schema(item.get(), pool, definitions);
}

// Required[T] / NotRequired[T]: read afresh each time; a failed read only
// skips its comparison.
std::optional<bool> is_requiredness_wrapper(PyObject* origin) {
  py::Ref typing = import_module(Name::Typing);
  if (!typing) return std::nullopt;
  for (Name name : {Name::Required, Name::NotRequired}) {
    py::Ref wrapper = read_attribute_or_absent(typing.get(), name);
    if (wrapper && wrapper.get() == origin) return true;
  }
  return false;
}

}  // namespace

py::Ref take_single_type_argument(PyObject* args) {
  if (PyTuple_GET_SIZE(args) != 1) {
    frontend_error(kOneArgument);
    return {};
  }
  return py::Ref::borrow(PyTuple_GET_ITEM(args, 0));
}

std::optional<SchemaNode> build_typing_form(PyObject* origin, PyObject* args, ConstantsPool& pool,
                                            DefinitionTable& definitions) {
  if (origin == builtin(PyList_Type)) {
    Built item = build_single(args, pool, definitions);
    if (!item) return std::nullopt;
    return make_sequence(SequenceKind::List, build_repeat_pattern(std::move(*item)));
  }
  if (origin == builtin(PySet_Type)) {
    Built item = build_single(args, pool, definitions);
    if (!item) return std::nullopt;
    return make_set(std::move(*item));
  }
  if (origin == builtin(PyFrozenSet_Type)) {
    Built item = build_single(args, pool, definitions);
    if (!item) return std::nullopt;
    return make_frozen_set(std::move(*item));
  }
  if (origin == builtin(PyDict_Type)) {
    if (PyTuple_GET_SIZE(args) != 2) {
      frontend_error("dict[...] needs a key type and a value type");
      return std::nullopt;
    }
    Built key = build_schema(PyTuple_GET_ITEM(args, 0), pool, definitions);
    if (!key) return std::nullopt;
    Built value = build_schema(PyTuple_GET_ITEM(args, 1), pool, definitions);
    if (!value) return std::nullopt;
    return build_dict_record(std::move(*key), std::move(*value));
  }
  if (origin == builtin(PyTuple_Type)) {
    auto pattern = build_sequence_pattern(
        tuple_items(args), "`...` may appear only as the last element of a tuple schema", pool,
        definitions);
    if (!pattern) return std::nullopt;
    return make_sequence(SequenceKind::Tuple, std::move(*pattern));
  }

  std::optional<bool> wrapper = is_requiredness_wrapper(origin);
  if (!wrapper) return std::nullopt;
  if (*wrapper) return build_single(args, pool, definitions);

  const schema::TypingCache* cache = schema::typing_cache();
  if (!cache) return std::nullopt;
  if (origin == cache->Union.get() || origin == cache->UnionType.get() ||
      origin == cache->Literal.get()) {
    auto members = build_all(args, pool, definitions);
    if (!members) return std::nullopt;
    return build_union(std::move(*members));
  }
  if (origin == cache->Callable.get()) return make_instance(intern_constant(pool, origin));

  frontend_error("unsupported typing form with origin " + preview_repr(origin) +
                 "; supported: list, set, dict, tuple, Union, Optional, Literal, Callable");
  return std::nullopt;
}

std::optional<SchemaNode> build_list_literal(PyObject* list, ConstantsPool& pool,
                                             DefinitionTable& definitions) {
  const Py_ssize_t n = PyList_GET_SIZE(list);
  // Items are read by position with a reference of our own: a callback may
  // shorten the list while earlier items are built.
  auto item_at = [list](Py_ssize_t i) { return py::Ref::borrow(PyList_GetItem(list, i)); };
  if (n == 0) return make_sequence(SequenceKind::List, build_fixed_pattern({}));
  const char* message = "`...` may appear only as the last element of a list schema";
  if (n == 1) {
    py::Ref item = item_at(0);
    if (!item) return std::nullopt;
    if (!schema::is_ellipsis(item.get())) {
      Built node = build_schema(item.get(), pool, definitions);
      if (!node) return std::nullopt;
      return make_sequence(SequenceKind::List, build_repeat_pattern(std::move(*node)));
    }
    frontend_error(message);
    return std::nullopt;
  }
  // The last item decides the shape; the rest are read as they are built.
  py::Ref last = item_at(n - 1);
  if (!last) return std::nullopt;
  const bool repeated = schema::is_ellipsis(last.get());
  std::vector<SchemaNode> nodes;
  const Py_ssize_t fixed = repeated ? n - 1 : n;
  nodes.reserve(static_cast<size_t>(fixed));
  for (Py_ssize_t i = 0; i < fixed; ++i) {
    py::Ref item = item_at(i);
    if (!item) return std::nullopt;
    if (schema::is_ellipsis(item.get())) {
      frontend_error(message);
      return std::nullopt;
    }
    Built node = build_schema(item.get(), pool, definitions);
    if (!node) return std::nullopt;
    nodes.push_back(std::move(*node));
  }
  if (!repeated) return make_sequence(SequenceKind::List, build_fixed_pattern(std::move(nodes)));
  SchemaNode tail = std::move(nodes.back());
  nodes.pop_back();
  if (nodes.empty()) return make_sequence(SequenceKind::List, build_repeat_pattern(std::move(tail)));
  return make_sequence(SequenceKind::List,
                       build_prefix_repeat_pattern(std::move(nodes), std::move(tail)));
}

}  // namespace tarmelix::frontend
