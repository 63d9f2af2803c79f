// Membership of Python values: the entry points of the validation walk.
// Each walks with the core's plan when it is built (the validator builds it
// before it calls them) and takes the reference roads without one.
#pragma once

#include <optional>

#include "check/member_hint.h"
#include "errors/walk_mode.h"
#include "py/ref.h"
#include "schema/core.h"

namespace tarmelix::schema {
class FullMatchCache;
}  // namespace tarmelix::schema

namespace tarmelix::check {

// validate/ensure/load: true for a member; false with either the fatal
// exception the walk kept or a ValidationError set.
bool validate_value(ValidatorCore& core, PyObject* value, WalkMode mode);

// validate_value (CollectAll or StopAtFirst) of a value that a CheckOnly walk
// with the same plan, running only our own code, found not to be a member
// (the JSON roads call it only where their road says so): a record at the
// root skips the check that would only say so again and goes straight to the
// pass that explains it. Everything else, and a root the explaining pass
// finds no fault in, takes validate_value.
bool validate_non_member(ValidatorCore& core, PyObject* value, WalkMode mode);

enum class Explained : uint8_t { Raised, NoFault };

// The explaining walk (CollectAll or StopAtFirst) of a value that a CheckOnly
// walk with the same plan, running only our own code, found not to be a
// member (as for validate_non_member), led by what that walk
// found (`hint`, for the root; the value built as far as it says). Raised:
// the ValidationError, or a fatal exception, is set. NoFault: it found none
// (nothing set), and the whole value must be built and walked.
Explained explain_with_hint(ValidatorCore& core, PyObject* value, const MemberHint& hint,
                            WalkMode mode);

// is_valid and `in`: the answer, or empty with a fatal exception set.
std::optional<bool> check_membership(ValidatorCore& core, PyObject* value);

// A CheckOnly walk of one node with an empty plan (the reasoning oracle's
// literal test), compiling its patterns into `patterns`. Empty with a fatal
// exception set.
std::optional<bool> check_node_membership(const SchemaNode& node, const Constants& constants,
                                          const DefinitionTable& definitions, PyObject* value,
                                          schema::FullMatchCache& patterns);

}  // namespace tarmelix::check

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using check::validate_value;
using check::validate_non_member;
using check::Explained;
using check::explain_with_hint;
using check::check_membership;
using check::check_node_membership;
}  // namespace tarmelix
