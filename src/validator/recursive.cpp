#include "validator/recursive.h"

#include <atomic>
#include <cstdint>
#include <optional>

#include "frontend/contractive.h"
#include "frontend/frontend.h"
#include "frontend/substitute.h"
#include "schema/core.h"
#include "validator/object.h"

namespace tarmelix::validator {

namespace {

// Each recursive() call draws its own placeholder id; ids are never reused.
std::atomic<uint64_t> next_recursion_variable{0};

}  // namespace

py::Ref recursive_validator(PyObject* builder) {
  const uint64_t variable = next_recursion_variable.fetch_add(1, std::memory_order_relaxed);

  py::Ref result;
  {
    py::Ref placeholder = make_node_validator(make_recursion_variable(variable));
    if (!placeholder) return {};
    result = py::Ref::steal(PyObject_CallOneArg(builder, placeholder.get()));
  }
  if (!result) return {};

  ConstantsPool pool;
  DefinitionTable definitions;
  std::optional<SchemaNode> body = build_schema(result.get(), pool, definitions);
  if (!body) return {};

  const uint64_t index = definitions.size();
  SchemaNode tied = frontend::substitute_recursion_variable(*body, variable, index);
  body.reset();
  if (frontend::has_unguarded_reference(tied, index, false)) {
    PyErr_SetString(PyExc_ValueError,
                    "recursive schema is not contractive: the recursive reference must occur "
                    "under a structural constructor (a list, tuple, set, dict, record, or object)");
    return {};
  }
  definitions.push_back(std::move(tied));

  pool.identity_index.clear();
  return new_checked_validator(make_definition_ref(index), std::move(pool.constants),
                               std::move(definitions));
}

}  // namespace tarmelix::validator
