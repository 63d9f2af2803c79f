// Where a JSON document failed to parse, as users read it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarmelix::json {

struct JsonPosition {
  size_t line = 1;
  size_t column = 0;
};

// Line and column of a byte offset, counted in bytes. A newline at the offset
// itself counts; at or past the end the column is the number of bytes after
// the last newline (an error there points just past the last byte read).
JsonPosition json_error_position(std::string_view input, size_t offset);

// "{error text} at line {L} column {C}".
std::string json_error_message(std::string_view error_text, std::string_view input,
                               size_t offset);

}  // namespace tarmelix::json
