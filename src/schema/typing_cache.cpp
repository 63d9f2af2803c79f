#include "schema/typing_cache.h"

#include <optional>

#include "py/once.h"

namespace tarmelix::schema {

namespace {

using py::Ref;

Ref import(const char* name) {
  Ref text = Ref::steal(PyUnicode_FromString(name));
  if (!text) return {};
  return Ref::steal(PyImport_Import(text.get()));
}

Ref attr(const Ref& module, const char* name) {
  return Ref::steal(PyObject_GetAttrString(module.get(), name));
}

Ref optional_attr(const Ref& module, const char* name) {
  Ref r = attr(module, name);
  if (!r) PyErr_Clear();
  return r;
}

std::optional<TypingCache> fill() {
  TypingCache c;
  Ref typing = import("typing");
  if (!typing) return std::nullopt;
  Ref builtins = import("builtins");
  if (!builtins) return std::nullopt;
  if (!(c.Any = attr(typing, "Any"))) return std::nullopt;
  c.Never = optional_attr(typing, "Never");
  c.NoReturn = optional_attr(typing, "NoReturn");
  c.TypeAliasType = optional_attr(typing, "TypeAliasType");
  if (!(c.Union = attr(typing, "Union"))) return std::nullopt;
  if (!(c.Optional = attr(typing, "Optional"))) return std::nullopt;
  Ref types = import("types");
  if (!types || !(c.UnionType = attr(types, "UnionType"))) return std::nullopt;
  if (!(c.Literal = attr(typing, "Literal"))) return std::nullopt;
  if (!(c.object = attr(builtins, "object"))) return std::nullopt;
  Ref enum_module = import("enum");
  if (!enum_module || !(c.Enum = attr(enum_module, "Enum"))) return std::nullopt;
  Ref abc = import("collections.abc");
  if (!abc || !(c.Callable = attr(abc, "Callable"))) return std::nullopt;
  if (!(c.Ellipsis = attr(builtins, "Ellipsis"))) return std::nullopt;
  return c;
}

// Leaked on purpose: it must outlive the interpreter's finalisation.
py::OnceCell<TypingCache>& cell() {
  static auto* c = new py::OnceCell<TypingCache>();
  return *c;
}

}  // namespace

const TypingCache* typing_cache() { return cell().get_or_init(fill); }

bool is_ellipsis(PyObject* object) {
  const TypingCache* cache = typing_cache();
  if (!cache) {
    PyErr_Clear();
    return false;
  }
  return object == cache->Ellipsis.get();
}

}  // namespace tarmelix::schema
