#include "validator/plan.h"

#include "check/walk_plan.h"
#include "json/json_plan.h"

namespace tarmelix::validator {

void ensure_plan(ValidatorCore& core) {
  if (check::core_walk_plan(core)) return;
  json::JsonPartBuilder json_part(core);
  check::ensure_walk_plan(core, &json_part);
}

}  // namespace tarmelix::validator
