// Structural rewrites of a tree that change nodes in place of their own and
// keep every shape: renumbering indices, tying a recursion knot, replacing a
// record's clauses.
#pragma once

#include <functional>

#include "schema/node.h"

namespace tarmelix::schema {

// A copy of `node` in which `visit` has seen every node, each before its
// children: it may change the node or replace it outright, and whatever
// children the result holds are visited in turn. Throws py::StackExhausted
// when the native stack runs short.
SchemaNode map_tree(const SchemaNode& node, const std::function<void(SchemaNode&)>& visit);

}  // namespace tarmelix::schema

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using schema::map_tree;
}  // namespace tarmelix
