// The Union case of the walk: the literal-set fast path, the member walk, and
// attribution of a failure to the member that explains it best.
#pragma once

#include "check/walk_context.h"

namespace tarmelix::check {

inline constexpr size_t UNION_ERROR_CANDIDATES = 64;

bool walk_union(const SchemaNode& node, PyObject* value, const WalkPath& path, const WalkContext& ctx,
                ErrorList& errors);

struct LiteralSets;

// Whether an exact int or str is in the sets; empty for any other value and
// for values the sets cannot hold (the general path decides those).
std::optional<bool> literal_sets_lookup(const LiteralSets& sets, PyObject* value);

// The literal-set answer for an exact int or str, or empty when the general
// path must decide (no sets, another type, a value the sets cannot hold).
std::optional<bool> literal_sets_answer(const SchemaNode& node, PyObject* value,
                                        const WalkContext& ctx);

}  // namespace tarmelix::check

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using check::literal_sets_lookup;
}  // namespace tarmelix
