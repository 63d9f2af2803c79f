// The process-wide switch that turns every fast road off, so a second
// interpreter can compare each of them with the reference walk.
#pragma once

namespace tarmelix::check {

// True when TARMELIX_SLOW_PATHS was set (and not "0") in the environment when
// the module loaded; never changes afterwards. Then the walks read no plan
// (the empty plan, as the reasoning oracle's walk does), a JSON document never
// takes the SIMD road, and the JSON walk tests every value through its own
// node's walk.
bool slow_paths_only();

}  // namespace tarmelix::check
