#include "validator/membership.h"

#include <array>
#include <optional>

#include "json/json.h"
#include "check/validate.h"
#include "py/args.h"
#include "py/trap.h"
#include "validator/entry.h"
#include "validator/plan.h"

namespace tarmelix::validator {

namespace {

constexpr std::array<const char*, 1> OBJ = {"obj"};
constexpr std::array<const char*, 1> DATA = {"data"};
constexpr std::array<const char*, 1> FAIL_FAST = {"fail_fast"};

// The walk mode a `fail_fast` argument asks for (absent means false); empty
// with the conversion error, and its note, set.
std::optional<WalkMode> raising_mode(PyObject* fail_fast) {
  if (!fail_fast) return WalkMode::CollectAll;
  std::optional<bool> stop = py::convert_bool_argument(fail_fast, "fail_fast");
  if (!stop) return std::nullopt;
  return *stop ? WalkMode::StopAtFirst : WalkMode::CollectAll;
}

// load and validate_json: the checked parsed document (None for
// validate_json, `need_document` false), or null.
py::Ref load_document(const py::FunctionDesc& desc, PyObject* self, PyObject* const* args,
                      Py_ssize_t nargsf, PyObject* kwnames, bool need_document) {
  py::ParsedArgs parsed;
  if (!py::parse_fastcall(desc, args, nargsf, kwnames, parsed)) return {};
  // A bad fail_fast is reported before the document is looked at.
  std::optional<WalkMode> mode = raising_mode(parsed.values[1]);
  if (!mode) return {};
  ensure_plan(core_of(self));
  return load_json_document(core_of(self), parsed.values[0], *mode, need_document);
}

}  // namespace

int validator_contains(PyObject* self, PyObject* value) noexcept {
  return py::trap_value(-1, [&] {
    ensure_plan(core_of(self));
    std::optional<bool> member = check_membership(core_of(self), value);
    if (!member) return -1;
    return *member ? 1 : 0;
  });
}

py::Ref validate_method(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                        PyObject* kwnames) {
  static constexpr py::FunctionDesc desc{"Validator.validate()", OBJ, FAIL_FAST};
  py::ParsedArgs parsed;
  if (!py::parse_fastcall(desc, args, nargsf, kwnames, parsed)) return {};
  std::optional<WalkMode> mode = raising_mode(parsed.values[1]);
  if (!mode) return {};
  ensure_plan(core_of(self));
  if (!validate_value(core_of(self), parsed.values[0], *mode)) return {};
  return py::none();
}

py::Ref is_valid_method(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                        PyObject* kwnames) {
  static constexpr py::FunctionDesc desc{"Validator.is_valid()", OBJ, {}};
  py::ParsedArgs parsed;
  if (!py::parse_fastcall(desc, args, nargsf, kwnames, parsed)) return {};
  ensure_plan(core_of(self));
  std::optional<bool> member = check_membership(core_of(self), parsed.values[0]);
  if (!member) return {};
  return py::boolean(*member);
}

py::Ref ensure_method(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                      PyObject* kwnames) {
  static constexpr py::FunctionDesc desc{"Validator.ensure()", OBJ, {}};
  py::ParsedArgs parsed;
  if (!py::parse_fastcall(desc, args, nargsf, kwnames, parsed)) return {};
  ensure_plan(core_of(self));
  if (!validate_value(core_of(self), parsed.values[0], WalkMode::CollectAll)) return {};
  return py::Ref::borrow(parsed.values[0]);
}

py::Ref validate_json_method(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                             PyObject* kwnames) {
  static constexpr py::FunctionDesc desc{"Validator.validate_json()", DATA, FAIL_FAST};
  if (!load_document(desc, self, args, nargsf, kwnames, false)) return {};
  return py::none();
}

py::Ref load_method(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                    PyObject* kwnames) {
  static constexpr py::FunctionDesc desc{"Validator.load()", DATA, FAIL_FAST};
  return load_document(desc, self, args, nargsf, kwnames, true);
}

py::Ref is_valid_json_method(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                             PyObject* kwnames) {
  static constexpr py::FunctionDesc desc{"Validator.is_valid_json()", DATA, {}};
  py::ParsedArgs parsed;
  if (!py::parse_fastcall(desc, args, nargsf, kwnames, parsed)) return {};
  ensure_plan(core_of(self));
  return check_json_document(core_of(self), parsed.values[0]);
}

}  // namespace tarmelix::validator
