#include "schema/walker.h"

namespace tarmelix::schema {

uint32_t number_nodes(SchemaNode& root, DefinitionTable& definitions) {
  uint32_t next = 0;
  // The trees are the caller's to change; the walker hands out const views.
  auto number = [&](const SchemaNode& n) { const_cast<SchemaNode&>(n).slot = next++; };
  auto nothing = [](const SchemaNode&) {};
  walk_tree(root, number, nothing);
  for (SchemaNode& d : definitions) walk_tree(d, number, nothing);
  return next;
}

}  // namespace tarmelix::schema
