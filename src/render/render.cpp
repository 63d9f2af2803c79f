#include "render/render.h"

namespace tarmelix {

// Stubs until rendering lands.
std::string render_node(const SchemaNode&, const Constants&, const DefinitionTable&) {
  return "<schema>";
}
std::string render_class_name(PyObject*) { return "<class>"; }
std::string preview_repr(PyObject*) { return "<value>"; }
std::string truncate_chars(std::string_view text, size_t) { return std::string(text); }
std::string quote_text(std::string_view text) { return "\"" + std::string(text) + "\""; }

}  // namespace tarmelix
