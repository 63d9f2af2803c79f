#include "frontend/frontend.h"

#include <string>

#include "frontend/annotated.h"
#include "frontend/class_forms.h"
#include "frontend/depth_guard.h"
#include "frontend/dict_literal.h"
#include "frontend/embed.h"
#include "frontend/probes.h"
#include "frontend/typing_forms.h"
#include "py/stack.h"
#include "render/render.h"
#include "schema/typing_cache.h"
#include "schema/validator_object.h"

namespace tarmelix::frontend {

namespace {

using Built = std::optional<SchemaNode>;

Built leaf(NodeKind kind) { return make_leaf(kind); }

Built instance_of(PyObject* cls, ConstantsPool& pool) {
  return make_instance(intern_constant(pool, cls));
}

// A class spec: built-in scalars, object, the class forms, Protocols, and
// every other class as an instance test.
Built build_class_spec(PyObject* spec, const schema::TypingCache& cache, ConstantsPool& pool,
                       DefinitionTable& definitions) {
  if (spec == reinterpret_cast<PyObject*>(&PyBool_Type)) return leaf(NodeKind::Bool);
  if (spec == reinterpret_cast<PyObject*>(&PyLong_Type)) return leaf(NodeKind::Int);
  if (spec == reinterpret_cast<PyObject*>(&PyFloat_Type)) return leaf(NodeKind::Float);
  if (spec == reinterpret_cast<PyObject*>(&PyUnicode_Type)) return leaf(NodeKind::Str);
  if (spec == reinterpret_cast<PyObject*>(&PyBytes_Type)) return leaf(NodeKind::Bytes);
  if (spec == reinterpret_cast<PyObject*>(Py_TYPE(Py_None))) return leaf(NodeKind::NoneValue);
  if (spec == cache.object.get()) return leaf(NodeKind::Anything);
  if (spec == cache.Union.get() || spec == cache.Optional.get()) {
    frontend_error(preview_repr(spec) +
                   " is a typing special form, not a value; write a concrete type (for a union, "
                   "X | Y or Union[X, Y])");
    return std::nullopt;
  }

  std::optional<bool> typed_dict = get_optional_attribute(spec, Name::RequiredKeys);
  if (!typed_dict) return std::nullopt;
  if (*typed_dict) return build_typed_dict(spec, pool, definitions);

  int is_enum = PyObject_IsSubclass(spec, cache.Enum.get());
  if (is_enum < 0) return std::nullopt;
  if (is_enum) return instance_of(spec, pool);

  // is_dataclass is false for a class without the fields attribute, so only
  // a class that has one imports the module: a first import runs Python
  // source (3.14 compiles some of it), too much for a small thread's stack.
  std::optional<bool> dataclass_fields = get_optional_attribute(spec, Name::DataclassFields);
  if (!dataclass_fields) return std::nullopt;
  if (*dataclass_fields) {
    py::Ref dataclasses = import_module(Name::Dataclasses);
    if (!dataclasses) return std::nullopt;
    py::Ref is_dataclass = call_is_dataclass(dataclasses.get(), spec);
    if (!is_dataclass) return std::nullopt;
    int dataclass_truth = PyObject_IsTrue(is_dataclass.get());
    if (dataclass_truth < 0) return std::nullopt;
    if (dataclass_truth) return build_class_fields(spec, pool, definitions);
  }

  std::optional<bool> tuple_class = is_tuple_class(spec);
  if (!tuple_class) return std::nullopt;
  if (*tuple_class) {
    std::optional<bool> has_fields = get_optional_attribute(spec, Name::Fields);
    if (!has_fields) return std::nullopt;
    if (*has_fields) return build_class_fields(spec, pool, definitions);
  }

  if (attribute_is_true(spec, Name::IsProtocol) &&
      !attribute_is_true(spec, Name::IsRuntimeProtocol)) {
    frontend_error("a Protocol must be @runtime_checkable to be used as a schema");
    return std::nullopt;
  }
  return instance_of(spec, pool);
}

// Type variables and special forms are refused by name; a name typing lacks
// (or whose read raises) is skipped.
bool reject_typing_construct(PyObject* spec, PyObject* typing) {
  for (Name name : {Name::TypeVar, Name::ParamSpec, Name::TypeVarTuple, Name::SpecialForm}) {
    py::Ref construct = read_attribute_or_absent(typing, name);
    if (!construct) continue;
    int r = PyObject_IsInstance(spec, construct.get());
    if (r < 0) return true;
    if (r == 1) {
      frontend_error(preview_repr(spec) +
                     " is a typing construct, not a value: a type variable, ParamSpec, "
                     "TypeVarTuple, or special form (such as Final or ClassVar) cannot be a "
                     "schema; use a concrete type");
      return true;
    }
  }
  return false;
}

// Any spec that is not a class.
Built build_value_spec(PyObject* spec, PyObject* typing, const schema::TypingCache& cache,
                       ConstantsPool& pool, DefinitionTable& definitions) {
  std::optional<bool> annotated = get_optional_attribute(spec, Name::Metadata);
  if (!annotated) return std::nullopt;
  if (*annotated) {
    py::Ref origin = read_attribute(spec, Name::Origin);
    if (!origin) return std::nullopt;
    py::Ref metadata = read_attribute(spec, Name::Metadata);
    if (!metadata) return std::nullopt;
    if (!PyTuple_Check(metadata.get())) {
      not_instance_error(metadata.get(), "tuple");
      return std::nullopt;
    }
    return build_annotated(origin.get(), metadata.get(), pool, definitions);
  }

  py::Ref origin = call_method_one(typing, Name::GetOrigin, spec);
  if (!origin) return std::nullopt;
  if (origin.get() != Py_None) {
    py::Ref args = call_method_one(typing, Name::GetArgs, spec);
    if (!args) return std::nullopt;
    if (!PyTuple_Check(args.get())) {
      not_instance_error(args.get(), "tuple");
      return std::nullopt;
    }
    return build_typing_form(origin.get(), args.get(), pool, definitions);
  }

  if (cache.TypeAliasType) {
    int alias = PyObject_IsInstance(spec, cache.TypeAliasType.get());
    if (alias < 0) return std::nullopt;
    if (alias) {
      py::Ref value = read_attribute(spec, Name::Value);
      if (!value) return std::nullopt;
      return build_schema(value.get(), pool, definitions);
    }
  }

  std::optional<bool> new_type = get_optional_attribute(spec, Name::Supertype);
  if (!new_type) return std::nullopt;
  if (*new_type) {
    py::Ref supertype = read_attribute(spec, Name::Supertype);
    if (!supertype) return std::nullopt;
    return build_schema(supertype.get(), pool, definitions);
  }

  if (PyList_Check(spec)) return build_list_literal(spec, pool, definitions);
  if (PyTuple_Check(spec)) {
    frontend_error(
        "a tuple literal is not a schema; write a fixed-length tuple as tuple[A, B] (the list "
        "literal [A, B] is the fixed-length list)");
    return std::nullopt;
  }
  if (PyType_IsSubtype(Py_TYPE(spec), &PySet_Type)) {
    frontend_error("a set literal is not a schema; write a set as set[T]");
    return std::nullopt;
  }
  if (PyDict_Check(spec)) return build_dict_literal(spec, pool, definitions);
  if (const ValidatorCore* core = extract_validator_core(spec))
    return embed_validator(*core, pool, definitions);
  if (reject_typing_construct(spec, typing)) return std::nullopt;
  return make_literal(intern_constant(pool, spec));
}

}  // namespace

std::optional<SchemaNode> build_schema(PyObject* spec, ConstantsPool& pool,
                                       DefinitionTable& definitions) {
  DepthGuard level;
  if (!level.entered()) {
    frontend_error("schema nesting is too deep to compile: the frontend descended " +
                   std::to_string(FRONTEND_DEPTH_LIMIT) +
                   " levels without reaching a leaf. A class whose own type appears in its "
                   "fields is recursive and never bottoms out; write it with recursive(...), "
                   "which ties the fixpoint explicitly.");
    return std::nullopt;
  }
  // Python code at each level (typing, class forms) needs room as well.
  if (!py::stack_has_room(py::STEP_STACK_RESERVE)) {
    py::set_stack_exhausted("compiling a schema");
    return std::nullopt;
  }
  if (spec == Py_None) return leaf(NodeKind::NoneValue);

  const schema::TypingCache* cache = schema::typing_cache();
  if (!cache) return std::nullopt;
  py::Ref typing = import_module(Name::Typing);
  if (!typing) return std::nullopt;

  if (spec == cache->Any.get()) return leaf(NodeKind::Any);
  if ((cache->Never && spec == cache->Never.get()) ||
      (cache->NoReturn && spec == cache->NoReturn.get()))
    return leaf(NodeKind::Nothing);

  if (PyType_Check(spec)) return build_class_spec(spec, *cache, pool, definitions);
  return build_value_spec(spec, typing.get(), *cache, pool, definitions);
}

}  // namespace tarmelix::frontend
