#include "schema/typing_cache.h"

#include <optional>

#include "py/error.h"
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

// An attribute that older interpreters lack: an ordinary exception of the
// read leaves the slot empty; a fatal one stays pending and gives false.
bool optional_attr(const Ref& module, const char* name, Ref& slot) {
  slot = attr(module, name);
  return slot || py::clear_unless_fatal();
}

std::optional<TypingCache> fill() {
  TypingCache c;
  Ref typing = import("typing");
  if (!typing) return std::nullopt;
  Ref builtins = import("builtins");
  if (!builtins) return std::nullopt;
  if (!(c.Any = attr(typing, "Any"))) return std::nullopt;
  if (!optional_attr(typing, "Never", c.Never) || !optional_attr(typing, "NoReturn", c.NoReturn) ||
      !optional_attr(typing, "TypeAliasType", c.TypeAliasType))
    return std::nullopt;
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
    // The frontend fills the cache before it reads any form, so no caller
    // meets this; the object is then simply not `...`.
    PyErr_Clear();
    return false;
  }
  return object == cache->Ellipsis.get();
}

}  // namespace tarmelix::schema
