#include "json/json.h"

#include "check/fresh_walk.h"
#include "json/json_fast.h"
#include "json/json_input.h"
#include "json/json_invalid.h"
#include "json/json_parse.h"
#include "json/json_value.h"
#include "json/json_walk.h"
#include "check/validate.h"
#include "check/walk_context.h"
#include "check/walk_plan.h"

namespace tarmelix::json {

py::Ref parse_json_input(PyObject* data) {
  JsonInput input = json_input_bytes(data);
  switch (input.kind) {
    case JsonInputKind::Neither:
      PyErr_SetString(PyExc_TypeError, "JSON input must be a str or bytes object");
      return {};
    case JsonInputKind::NotEncodable:
      raise_json_invalid("input string is not valid UTF-8 (contains a lone surrogate)");
      return {};
    case JsonInputKind::Failed:
      return {};
    case JsonInputKind::Bytes:
      break;
  }
  return parse_json_to_python(input.bytes);
}

py::Ref check_json_document(ValidatorCore& core, PyObject* data) {
  JsonInput input = json_input_bytes(data);
  if (input.kind == JsonInputKind::Failed) return {};
  if (input.kind != JsonInputKind::Bytes) return py::boolean(false);
  switch (check_json_fast(core, input.bytes)) {
    case FastJsonAnswer::Member:
      return py::boolean(true);
    case FastJsonAnswer::NotMember:
      return py::boolean(false);
    case FastJsonAnswer::CannotTell:
      break;
  }
  std::optional<JsonDocument> doc = parse_json_document(input.bytes);
  if (!doc) return PyErr_Occurred() ? py::Ref() : py::boolean(false);
  std::optional<bool> member =
      run_fresh_walk(core.constants, core.definitions, plan_for_walks(core), WalkMode::CheckOnly,
                     [&](const WalkContext& ctx) { return walk_json(core.root, doc->root(), ctx); });
  if (!member) return {};
  return py::boolean(*member);
}

py::Ref load_json_document(ValidatorCore& core, PyObject* data, WalkMode mode,
                           bool need_document) {
  JsonInput input = json_input_bytes(data);
  py::Ref document;
  if (input.kind == JsonInputKind::Bytes) {
    FastLoad fast = load_json_fast(core, need_document ? JsonCall::Load : JsonCall::Validate,
                                   input.bytes, mode != WalkMode::CollectAll);
    if (fast.road == FastLoadRoad::Member) {
      return need_document ? std::move(fast.value) : py::none();
    }
    if (fast.road == FastLoadRoad::NotMember) {
      if (!validate_non_member(core, fast.value.get(), mode)) return {};
      return need_document ? std::move(fast.value) : py::none();
    }
    if (fast.road == FastLoadRoad::Refused) {
      // Built only as far as the hint says: should it show no fault, the
      // event parser road reads the document again and walks all of it.
      if (explain_with_hint(core, fast.value.get(), *fast.hint, mode) == Explained::Raised) {
        return {};
      }
      fast.value.reset();
    }
    document = std::move(fast.value);
  } else if (input.kind == JsonInputKind::Failed) {
    // The event parser road reads the input again and reports its failure.
    PyErr_Clear();
  }
  if (!document) document = parse_json_input(data);
  if (!document) return {};
  if (!validate_value(core, document.get(), mode)) return {};
  return need_document ? document : py::none();
}

}  // namespace tarmelix::json
