#include "frontend/names.h"

#include <array>
#include <optional>

#include "py/once.h"

namespace tarmelix {

namespace {

constexpr size_t kNames = static_cast<size_t>(Name::Count);
using NameTable = std::array<py::Ref, kNames>;

constexpr std::array<const char*, kNames> kTexts = {
    "__metadata__", "__origin__",  "__value__",    "__supertype__", "__required_keys__",
    "_fields",      "_is_protocol", "_is_runtime_protocol", "pattern", "ge",
    "gt",           "le",           "lt",           "min_length",    "max_length",
    "multiple_of",  "func",         "get_origin",   "get_args",      "get_type_hints",
    "is_dataclass", "TypeVar",      "ParamSpec",    "TypeVarTuple",  "_SpecialForm",
    "Required",     "NotRequired",  "typing",       "dataclasses",
};

std::optional<NameTable> make_table() {
  NameTable table;
  for (size_t i = 0; i < kNames; ++i) {
    table[i] = py::Ref::steal(PyUnicode_InternFromString(kTexts[i]));
    if (!table[i]) return std::nullopt;
  }
  return table;
}

// Leaked on purpose: it must outlive the interpreter's finalisation.
py::OnceCell<NameTable>& cell() {
  static auto* c = new py::OnceCell<NameTable>();
  return *c;
}

}  // namespace

PyObject* name_object(Name name) {
  const NameTable* table = cell().get_or_init(make_table);
  return table ? (*table)[static_cast<size_t>(name)].get() : nullptr;
}

}  // namespace tarmelix
