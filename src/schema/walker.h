// A traversal of schema trees with an explicit stack: `pre` sees a node
// before its children, `post` after them, so deep trees cost heap, not
// native stack. Children come in NodeChildren's order.
#pragma once

#include <vector>

#include "schema/measure.h"
#include "schema/node.h"

namespace tarmelix::schema {

template <class Pre, class Post>
void walk_tree(const SchemaNode& root, Pre&& pre, Post&& post) {
  struct Frame {
    const SchemaNode* node;
    NodeChildren children;
  };
  std::vector<Frame> stack;
  pre(root);
  stack.push_back({&root, NodeChildren(root)});
  while (!stack.empty()) {
    if (const SchemaNode* child = stack.back().children.next()) {
      pre(*child);
      stack.push_back({child, NodeChildren(*child)});
      continue;
    }
    const SchemaNode* done = stack.back().node;
    stack.pop_back();
    post(*done);
  }
}

// Numbers the nodes of a core's trees in pre-order, root first, then each
// definition in index order; the count of nodes numbered.
uint32_t number_nodes(SchemaNode& root, DefinitionTable& definitions);

}  // namespace tarmelix::schema
