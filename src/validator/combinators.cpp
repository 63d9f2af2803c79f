#include "validator/combinators.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "frontend/frontend.h"
#include "validator/recursive.h"
#include "py/args.h"
#include "py/trap.h"
#include "schema/core.h"
#include "validator/object.h"

namespace tarmelix::validator {

namespace {

// Keeps only the pool's constants (its identity index goes with it) and checks the limits.
std::optional<ValidatorCore> finish(SchemaNode root, ConstantsPool pool,
                                    DefinitionTable definitions) {
  return check_limits(std::move(root), std::move(pool.constants), std::move(definitions));
}

py::Ref wrap(std::optional<ValidatorCore> core) {
  if (!core) return {};
  return new_validator_object(std::move(*core));
}

// union and intersection: every argument built into one pool, in order; the
// first failure decides.
py::Ref combine(const char* full_name, PyObject* const* args, Py_ssize_t nargsf,
                PyObject* kwnames, bool is_union) {
  const py::FunctionDesc desc{full_name, {}, {}, true};
  py::ParsedArgs parsed;
  if (!py::parse_fastcall(desc, args, nargsf, kwnames, parsed)) return {};
  PyObject* schemas = parsed.varargs.get();
  const Py_ssize_t count = PyTuple_GET_SIZE(schemas);
  ConstantsPool pool;
  DefinitionTable definitions;
  std::vector<SchemaNode> nodes;
  nodes.reserve(static_cast<size_t>(count));
  for (Py_ssize_t i = 0; i < count; ++i) {
    py::Ref spec = py::Ref::borrow(PyTuple_GET_ITEM(schemas, i));
    std::optional<SchemaNode> node = build_schema(spec.get(), pool, definitions);
    if (!node) return {};
    nodes.push_back(std::move(*node));
  }
  SchemaNode root;
  if (nodes.empty()) {
    root = make_leaf(is_union ? NodeKind::Nothing : NodeKind::Anything);
  } else {
    root = is_union ? make_union(std::move(nodes)) : make_intersection(std::move(nodes));
  }
  return new_checked_validator(std::move(root), std::move(pool.constants),
                               std::move(definitions));
}

// `validator | other` (reflected false) or `other | validator` (true): the
// validator's pool and definitions copied, `other` built into the copies.
std::optional<ValidatorCore> make_or_validator(const ValidatorCore& core, PyObject* other,
                                               bool reflected) {
  ConstantsPool pool = pool_from_constants(copy_constants(core.constants));
  DefinitionTable definitions = core.definitions;
  std::optional<SchemaNode> built = build_schema(other, pool, definitions);
  if (!built) return std::nullopt;
  std::vector<SchemaNode> members;
  members.reserve(2);
  if (reflected) {
    members.push_back(std::move(*built));
    members.push_back(core.root);
  } else {
    members.push_back(core.root);
    members.push_back(std::move(*built));
  }
  return finish(make_union(std::move(members)), std::move(pool), std::move(definitions));
}

}  // namespace

PyObject* validator_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
  return py::trap_object([&]() -> py::Ref {
    static constexpr std::array<const char*, 1> positional = {"schema"};
    static constexpr py::FunctionDesc desc{"Validator.__new__()", positional, {}};
    py::ParsedArgs parsed;
    if (!py::parse_tuple_and_dict(desc, args, kwargs, parsed)) return {};
    PyObject* spec = parsed.values[0];
    ConstantsPool pool;
    DefinitionTable definitions;
    std::optional<SchemaNode> root = build_schema(spec, pool, definitions);
    if (!root) return {};
    std::optional<ValidatorCore> core =
        finish(std::move(*root), std::move(pool), std::move(definitions));
    if (!core) return {};
    return allocate_validator(type, std::move(*core));
  });
}

PyObject* validator_or(PyObject* left, PyObject* right) noexcept {
  return py::trap_object([&]() -> py::Ref {
    if (const ValidatorCore* core = extract_validator_core(left)) {
      return wrap(make_or_validator(*core, right, false));
    }
    if (const ValidatorCore* core = extract_validator_core(right)) {
      return wrap(make_or_validator(*core, left, true));
    }
    return py::Ref::borrow(Py_NotImplemented);
  });
}

py::Ref union_function(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  return combine("union()", args, nargsf, kwnames, true);
}

py::Ref intersection_function(PyObject*, PyObject* const* args, Py_ssize_t nargsf,
                              PyObject* kwnames) {
  return combine("intersection()", args, nargsf, kwnames, false);
}

py::Ref complement_function(PyObject*, PyObject* const* args, Py_ssize_t nargsf,
                            PyObject* kwnames) {
  static constexpr std::array<const char*, 1> positional = {"schema"};
  static constexpr py::FunctionDesc desc{"complement()", positional, {}};
  py::ParsedArgs parsed;
  if (!py::parse_fastcall(desc, args, nargsf, kwnames, parsed)) return {};
  ConstantsPool pool;
  DefinitionTable definitions;
  std::optional<SchemaNode> inner = build_schema(parsed.values[0], pool, definitions);
  if (!inner) return {};
  return new_checked_validator(make_complement(std::move(*inner)), std::move(pool.constants),
                               std::move(definitions));
}

py::Ref recursive_function(PyObject*, PyObject* const* args, Py_ssize_t nargsf,
                           PyObject* kwnames) {
  static constexpr std::array<const char*, 1> positional = {"builder"};
  static constexpr py::FunctionDesc desc{"recursive()", positional, {}};
  py::ParsedArgs parsed;
  if (!py::parse_fastcall(desc, args, nargsf, kwnames, parsed)) return {};
  return recursive_validator(parsed.values[0]);
}

}  // namespace tarmelix::validator
