// Regular expressions always match the whole text: "\A(?:{})\z" around the
// pattern, compiled by RE2 with a program-size cap.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

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

}  // namespace tarmelix::schema

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using schema::compile_full_match;
using schema::full_match_pattern_error;
}  // namespace tarmelix
