#include "frontend/names.h"

#include <array>
#include <optional>

#include "py/once.h"

namespace tarmelix::frontend {

namespace {

constexpr size_t kNames = static_cast<size_t>(Name::Count);
using NameTable = std::array<py::Ref, kNames>;

#define TARMELIX_NAME_TEXT(name, text) text,
constexpr std::array<const char*, kNames> kTexts = {TARMELIX_FRONTEND_NAMES(TARMELIX_NAME_TEXT)};
#undef TARMELIX_NAME_TEXT

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

}  // namespace tarmelix::frontend
