// Regular expressions always match the whole text: "\A(?:{})\z" around the
// pattern, compiled by RE2 with a program-size cap.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "schema/fxhash.h"

namespace re2 {
class RE2;
}

namespace tarmelix::schema {

// The compiled pattern, or null with RE2's error text in `error`.
std::unique_ptr<re2::RE2> compile_full_match(std::string_view pattern, std::string* error);

// Why a pattern cannot stand in a schema, or nothing when it can. Besides the
// full-match form, the pattern must be valid on its own: "a)|(b" only
// compiles once wrapped, and then no longer matches the whole text.
std::optional<std::string> full_match_pattern_error(std::string_view pattern);

// Patterns compiled on first use and kept, by text, for as long as the cache
// lives (one decision's literal checks, which have no walk plan).
class FullMatchCache {
 public:
  FullMatchCache();
  ~FullMatchCache();
  FullMatchCache(const FullMatchCache&) = delete;
  FullMatchCache& operator=(const FullMatchCache&) = delete;

  // The compiled pattern; null when it does not compile (also remembered).
  const re2::RE2* get(std::string_view pattern);

 private:
  std::unordered_map<std::string, std::unique_ptr<re2::RE2>, FxHasher, std::equal_to<>> compiled_;
};

}  // namespace tarmelix::schema

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using schema::compile_full_match;
using schema::full_match_pattern_error;
using schema::FullMatchCache;
}  // namespace tarmelix
