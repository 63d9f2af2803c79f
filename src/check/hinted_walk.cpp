#include "check/hinted_walk.h"

#include "check/record_walk.h"
#include "check/walk.h"
#include "check/walk_plan.h"
#include "schema/sequence_shape.h"

namespace tarmelix::check {

bool walk_hinted(const SchemaNode& node, PyObject* value, const MemberHint* hint,
                 const WalkPath& path, const WalkContext& ctx, ErrorList& errors) {
  if (!hint) return walk_value(node, value, path, ctx, errors);
  if (ctx.stopped() || !ctx.has_stack_room()) return false;
  if (hint->kind == MemberHint::Kind::Record) {
    // Refused, so past the record's CheckOnly test: its recording pass.
    if (ctx.records()) {
      walk_record(node.fields, node.clauses, value, path, ctx, errors,
                  ctx.plan ? ctx.plan->record(node) : nullptr, hint);
    }
    return false;
  }
  const SchemaNode* item = schema::list_item_schema(node);
  if (!item) return false;
  bool all = true;
  for (const ItemHint& refused : hint->items) {
    if (!walk_hinted(*item, refused.value.get(), refused.below.get(),
                     path.index(static_cast<uint64_t>(refused.index)), ctx, errors)) {
      all = false;
      if (ctx.mode != WalkMode::CollectAll || ctx.stopped()) break;
    }
  }
  return all;
}

}  // namespace tarmelix::check
