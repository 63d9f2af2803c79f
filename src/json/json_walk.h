// Membership of a parsed JSON document, walked in place (is_valid_json). Only
// the checks that need a Python object (Literal, Instance, Object and the
// constraints of Constrained) convert the value at hand.
#pragma once

#include "json/json_value.h"
#include "check/walk_context.h"

namespace tarmelix::json {

// Whether the value is a member of the node; always CheckOnly. Never leaves
// a Python exception pending: a fatal one goes to the context's slot, except
// where a value under Object or Constrained fails to convert, which is
// non-member with the exception discarded whatever it is.
bool walk_json(const SchemaNode& node, const JsonValue& value, const WalkContext& ctx);

}  // namespace tarmelix::json
