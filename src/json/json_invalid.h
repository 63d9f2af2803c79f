// The ValidationError of a JSON document that cannot be parsed or decoded.
#pragma once

#include <cstddef>
#include <string_view>

namespace tarmelix::json {

// Characters of the parser's message kept in the got text before "...".
inline constexpr size_t JSON_MESSAGE_CHARS = 80;

// Sets the "json_invalid" ValidationError (expected "valid JSON", got the
// message cut to JSON_MESSAGE_CHARS characters).
void raise_json_invalid(std::string_view message);

}  // namespace tarmelix::json
