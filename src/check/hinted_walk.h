// The recording walk of a value that is not a member, led by what a CheckOnly
// walk with the same plan found: it walks what was refused as the walk does
// and steps over what was found a member.
#pragma once

#include "check/member_hint.h"
#include "check/walk_context.h"
#include "errors/errors.h"
#include "schema/node.h"

namespace tarmelix::check {

// walk_value of `value` against `node`, where `hint` (null: none) says what
// is known of it: a Record hint takes the record's recording pass with its
// member fields unwalked, a List hint walks its refused items alone.
bool walk_hinted(const SchemaNode& node, PyObject* value, const MemberHint* hint,
                 const WalkPath& path, const WalkContext& ctx, ErrorList& errors);

}  // namespace tarmelix::check
