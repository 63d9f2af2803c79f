#include "validator/methods.h"

#include "validator/combinators.h"
#include "validator/decisions.h"
#include "validator/docstrings.h"
#include "validator/entry.h"
#include "validator/identity.h"
#include "validator/membership.h"

namespace tarmelix::validator {

namespace {

constexpr int FASTCALL = METH_FASTCALL | METH_KEYWORDS;

template <FastcallBody Body>
PyMethodDef fastcall(const char* name, const char* doc, int extra_flags = 0) {
  return {name, as_method(&fastcall_entry<Body>), FASTCALL | extra_flags, doc};
}

template <NoArgsBody Body>
PyMethodDef noargs(const char* name, const char* doc) {
  return {name, as_method(&noargs_entry<Body>), METH_NOARGS, doc};
}

}  // namespace

PyMethodDef* validator_methods() {
  // The interpreter keeps pointers into the table for the life of the type.
  static PyMethodDef table[] = {
      fastcall<validate_method>("validate", doc::VALIDATE),
      fastcall<is_valid_method>("is_valid", doc::IS_VALID),
      fastcall<ensure_method>("ensure", doc::ENSURE),
      fastcall<validate_json_method>("validate_json", doc::VALIDATE_JSON),
      fastcall<load_method>("load", doc::LOAD),
      fastcall<is_valid_json_method>("is_valid_json", doc::IS_VALID_JSON),
      noargs<is_empty_method>("is_empty", doc::IS_EMPTY),
      fastcall<is_subtype_of_method>("is_subtype_of", doc::IS_SUBTYPE_OF),
      fastcall<is_equivalent_method>("is_equivalent", doc::IS_EQUIVALENT),
      noargs<copy_method>("__copy__", doc::COPY),
      fastcall<deepcopy_method>("__deepcopy__", doc::DEEPCOPY),
      noargs<open_method>("open", doc::OPEN),
      noargs<close_method>("close", doc::CLOSE),
      noargs<simplify_method>("simplify", doc::SIMPLIFY),
      {nullptr, nullptr, 0, nullptr},
  };
  return table;
}

PyMethodDef* module_functions() {
  static PyMethodDef table[] = {
      fastcall<union_function>("union", doc::UNION, METH_STATIC),
      fastcall<intersection_function>("intersection", doc::INTERSECTION, METH_STATIC),
      fastcall<complement_function>("complement", doc::COMPLEMENT, METH_STATIC),
      fastcall<recursive_function>("recursive", doc::RECURSIVE, METH_STATIC),
      {nullptr, nullptr, 0, nullptr},
  };
  return table;
}

}  // namespace tarmelix::validator
