// The per-kind error code and display name of a schema node.
#pragma once

#include <string>
#include <vector>

#include "schema/node.h"

namespace tarmelix::errors {

// Static texts; a Constrained node answers with its base's entry, a Sequence
// by its SequenceKind.
const char* kind_error_code(const SchemaNode& node);
const char* kind_display_name(const SchemaNode& node);

// The display names of a union's members, in member order, joined with ", "
// (the list inside "one of: {}").
std::string member_display_names(const std::vector<SchemaNode>& members);

}  // namespace tarmelix::errors

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using errors::kind_error_code;
using errors::kind_display_name;
using errors::member_display_names;
}  // namespace tarmelix
