#include "schema/full_match.h"

#include <re2/re2.h>

namespace tarmelix {

std::unique_ptr<re2::RE2> compile_full_match(std::string_view pattern, std::string* error) {
  std::string wrapped = "\\A(?:" + std::string(pattern) + ")\\z";
  re2::RE2::Options options;
  options.set_log_errors(false);
  options.set_max_mem(10 << 20);
  auto re = std::make_unique<re2::RE2>(wrapped, options);
  if (!re->ok()) {
    if (error) *error = re->error();
    return nullptr;
  }
  return re;
}

}  // namespace tarmelix
