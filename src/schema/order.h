// Structural equality, total order and hash input of schema trees. Pooled
// objects take part only through their pool indices; DefinitionRefs are not
// followed. Each level checks the native stack and throws py::StackExhausted
// when it runs short.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "schema/node.h"

namespace tarmelix::schema {

bool same_node(const SchemaNode& a, const SchemaNode& b);
bool same_pattern(const SequencePattern& p, const SequencePattern& q);
bool same_constraint(const Constraint& a, const Constraint& b);
bool same_constraints(const std::vector<Constraint>& a, const std::vector<Constraint>& b);

// -1, 0 or 1; 0 exactly when the same_* counterpart holds.
int compare_nodes(const SchemaNode& a, const SchemaNode& b);
int compare_patterns(const SequencePattern& p, const SequencePattern& q);
int compare_constraints(const Constraint& c, const Constraint& d);

// The structural hash input, appended to a byte sink.
using HashSink = std::string;
void hash_node(const SchemaNode& node, HashSink& sink);
void hash_pattern(const SequencePattern& pattern, HashSink& sink);
void hash_u64(uint64_t value, HashSink& sink);  // 8 bytes, little-endian

}  // namespace tarmelix::schema

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using schema::same_node;
using schema::same_pattern;
using schema::same_constraint;
using schema::same_constraints;
using schema::compare_nodes;
using schema::compare_patterns;
using schema::compare_constraints;
using schema::HashSink;
using schema::hash_node;
using schema::hash_pattern;
using schema::hash_u64;
}  // namespace tarmelix
