#include "check/slow_paths.h"

#include <cstdlib>
#include <string_view>

namespace tarmelix::check {

namespace {

// Read once, when the module is loaded.
const bool slow_paths = [] {
  const char* value = std::getenv("TARMELIX_SLOW_PATHS");
  return value && *value && std::string_view(value) != "0";
}();

}  // namespace

bool slow_paths_only() { return slow_paths; }

}  // namespace tarmelix::check
