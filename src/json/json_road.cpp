#include "json/json_road.h"

#include "check/slow_paths.h"
#include "json/json_plan.h"

namespace tarmelix::json {

JsonRoad choose_json_road(JsonCall call, const WalkPlan* plan, std::string_view bytes) {
  JsonRoad road;
  if (check::slow_paths_only() || bytes.empty()) return road;
  // The event parser refuses a byte order mark, which some versions of the
  // SIMD parser skip.
  if (bytes.starts_with("\xEF\xBB\xBF")) return road;
  const bool own_code = runs_only_own_code(plan);
  const bool large = bytes.size() >= DETACHED_BYTES;
  if (call == JsonCall::IsValid) {
    // Its walk is all is_valid_json wants of the tape: where code of the
    // user's runs, the event parser's tree is walked instead.
    road.simd_parse = road.tape_walk = !plan || own_code;
    road.detached = own_code && large;
    return road;
  }
  // The tape builds Python values faster than the event parser: load and
  // validate_json read every document with it, and only the reference
  // walk of the built value runs code of the user's, once.
  road.simd_parse = true;
  road.tape_walk = own_code;
  road.detached = own_code && large;
  road.build_member = call == JsonCall::Load;
  road.build_refused_parts = own_code;
  return road;
}

}  // namespace tarmelix::json
