// Annotation text of schemas and previews of Python values.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "py/ref.h"
#include "schema/node.h"
#include "schema/pool.h"

namespace tarmelix {

inline constexpr size_t GOT_TEXT_CHARS = 80;

// The repr text of a schema (never fails; Python errors are discarded).
std::string render_node(const SchemaNode& node, const Constants& constants,
                        const DefinitionTable& definitions);
std::string render_class_name(PyObject* cls);
std::string preview_repr(PyObject* value);
std::string truncate_chars(std::string_view text, size_t max_chars);
std::string quote_text(std::string_view text);

}  // namespace tarmelix
