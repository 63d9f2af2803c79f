#include "schema/full_match.h"

#include <re2/re2.h>

namespace tarmelix::schema {

namespace {

re2::RE2::Options pattern_options() {
  re2::RE2::Options options;
  options.set_log_errors(false);
  options.set_max_mem(10 << 20);
  return options;
}

}  // namespace

std::unique_ptr<re2::RE2> compile_full_match(std::string_view pattern, std::string* error) {
  std::string wrapped = "\\A(?:" + std::string(pattern) + ")\\z";
  auto re = std::make_unique<re2::RE2>(wrapped, pattern_options());
  if (!re->ok()) {
    if (error) *error = re->error();
    return nullptr;
  }
  return re;
}

FullMatchCache::FullMatchCache() = default;
FullMatchCache::~FullMatchCache() = default;

const re2::RE2* FullMatchCache::get(std::string_view pattern) {
  auto found = compiled_.find(pattern);
  if (found == compiled_.end()) {
    found = compiled_.emplace(std::string(pattern), compile_full_match(pattern, nullptr)).first;
  }
  return found->second.get();
}

std::optional<std::string> full_match_pattern_error(std::string_view pattern) {
  std::string error;
  if (!compile_full_match(pattern, &error)) return error;
  re2::RE2 bare(re2::StringPiece(pattern.data(), pattern.size()), pattern_options());
  if (!bare.ok()) return bare.error();
  return std::nullopt;
}

}  // namespace tarmelix::schema
