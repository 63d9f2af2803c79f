#include "validator/decisions.h"

#include <array>
#include <optional>

#include "frontend/frontend.h"
#include "py/args.h"
#include "reasoning/decide.h"
#include "validator/entry.h"

namespace tarmelix::validator {

namespace {

constexpr std::array<const char*, 1> OTHER = {"other"};

using Decision = bool (*)(const SchemaNode&, const SchemaNode&, const Constants&,
                          const DefinitionTable&);

// `other` is compiled into a private copy of the receiver's pool and
// definitions, so the receiver's root keeps its indices; no limits apply.
py::Ref decide_against(const py::FunctionDesc& desc, Decision decide, PyObject* self,
                       PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
  py::ParsedArgs parsed;
  if (!py::parse_fastcall(desc, args, nargsf, kwnames, parsed)) return {};
  const ValidatorCore& core = core_of(self);
  ConstantsPool pool = pool_from_constants(copy_constants(core.constants));
  DefinitionTable definitions = core.definitions;
  std::optional<SchemaNode> other = build_schema(parsed.values[0], pool, definitions);
  if (!other) return {};
  return py::boolean(decide(core.root, *other, pool.constants, definitions));
}

// The rewritten root and every definition (each keeps its index), with the
// whole pool carried over, then the limits checked again.
template <class Rewrite>
py::Ref rewrite(PyObject* self, Rewrite op) {
  const ValidatorCore& core = core_of(self);
  SchemaNode root = op(core.root);
  Constants constants = copy_constants(core.constants);
  DefinitionTable definitions;
  definitions.reserve(core.definitions.size());
  for (const SchemaNode& d : core.definitions) definitions.push_back(op(d));
  return new_checked_validator(std::move(root), std::move(constants), std::move(definitions));
}

}  // namespace

py::Ref is_empty_method(PyObject* self) {
  const ValidatorCore& core = core_of(self);
  return py::boolean(decide_empty(core.root, core.constants, core.definitions));
}

py::Ref is_subtype_of_method(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                             PyObject* kwnames) {
  static constexpr py::FunctionDesc desc{"Validator.is_subtype_of()", OTHER, {}};
  return decide_against(desc, decide_subtype, self, args, nargsf, kwnames);
}

py::Ref is_equivalent_method(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                             PyObject* kwnames) {
  static constexpr py::FunctionDesc desc{"Validator.is_equivalent()", OTHER, {}};
  return decide_against(desc, decide_equivalent, self, args, nargsf, kwnames);
}

py::Ref open_method(PyObject* self) {
  return rewrite(self, [](const SchemaNode& n) { return set_record_openness(n, true); });
}

py::Ref close_method(PyObject* self) {
  return rewrite(self, [](const SchemaNode& n) { return set_record_openness(n, false); });
}

py::Ref simplify_method(PyObject* self) {
  return rewrite(self, [](const SchemaNode& n) { return simplify_node(n); });
}

}  // namespace tarmelix::validator
