// Measures of schema trees and the enumeration of a node's direct children.
// Each level checks the native stack and throws py::StackExhausted when it
// runs short.
#pragma once

#include <cstdint>
#include <vector>

#include "schema/node.h"

namespace tarmelix::schema {

// Direct children in their fixed order: Sequence item nodes depth-first;
// Record field nodes then each clause's key and value; members; Object field
// nodes; a Set/FrozenSet/Complement child; a Constrained base.
class NodeChildren {
 public:
  explicit NodeChildren(const SchemaNode& node);
  const SchemaNode* next();

 private:
  void push_pattern(const SequencePattern& pattern);
  std::vector<const SchemaNode*> children_;
  size_t pos_ = 0;
};

NodeChildren node_children(const SchemaNode& node);

uint64_t count_nodes(const SchemaNode& node);
uint64_t node_depth(const SchemaNode& node);
uint64_t pattern_depth(const SequencePattern& pattern);

inline constexpr uint64_t MAX_SCHEMA_DEPTH = 128;
inline constexpr uint64_t MAX_DEFINITIONS = 128;
inline constexpr uint64_t MAX_SCHEMA_NODES = 100000;

}  // namespace tarmelix::schema

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using schema::NodeChildren;
using schema::node_children;
using schema::count_nodes;
using schema::node_depth;
using schema::MAX_SCHEMA_DEPTH;
using schema::MAX_DEFINITIONS;
using schema::MAX_SCHEMA_NODES;
}  // namespace tarmelix
