// The Record case of the walk: dict membership through the field map, the
// key/value clauses, and the record pass that explains a failure.
#pragma once

#include "check/walk_context.h"

namespace tarmelix::check {

inline constexpr size_t KEY_TEXT_CHARS = 40;

struct PlanRecord;
struct MemberHint;

// Whether a dict is a member, in CheckOnly, recording nothing. `planned` is
// the record's entry in the plan, or null.
bool record_member(const SchemaNode& node, PyObject* value, const WalkContext& ctx,
                   const PlanRecord* planned);

bool walk_record_node(const SchemaNode& node, PyObject* value, const WalkPath& path,
                      const WalkContext& ctx, ErrorList& errors);

// Whether some clause admits both the key and the value (CheckOnly walks).
bool match_key_value_clauses(const std::vector<KeyValueClause>& clauses, PyObject* key,
                             PyObject* value, const WalkContext& ctx);

// The recording pass over a value the record rejected. `planned` (the
// plan's entry for the record, or null) lends its field index and interned
// names; without it the pass makes its own. With a Record `hint` (of a
// record whose field names are distinct), the fields it marks members are
// not walked, and the refused ones are walked as it says.
void walk_record(const std::vector<RecordField>& fields,
                 const std::vector<KeyValueClause>& clauses, PyObject* value, const WalkPath& path,
                 const WalkContext& ctx, ErrorList& errors, const PlanRecord* planned,
                 const MemberHint* hint = nullptr);

}  // namespace tarmelix::check
