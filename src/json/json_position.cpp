#include "json/json_position.h"

#include <algorithm>
#include <cstring>

namespace tarmelix::json {

JsonPosition json_error_position(std::string_view input, size_t offset) {
  bool at_end = offset >= input.size();
  size_t scan_end = at_end ? input.size() : offset + 1;
  JsonPosition pos;
  size_t line_start = 0;
  const char* base = input.data();
  const char* p = base;
  const char* stop = base + scan_end;
  while (p < stop) {
    const void* nl = std::memchr(p, '\n', static_cast<size_t>(stop - p));
    if (!nl) break;
    ++pos.line;
    p = static_cast<const char*>(nl) + 1;
    line_start = static_cast<size_t>(p - base);
  }
  if (at_end) {
    pos.column = input.size() - line_start;
  } else {
    // A newline at the offset itself has just been counted: its column is 0.
    pos.column = offset + 1 - line_start;
  }
  return pos;
}

std::string json_error_message(std::string_view error_text, std::string_view input,
                               size_t offset) {
  JsonPosition pos = json_error_position(input, offset);
  std::string message(error_text);
  message += " at line ";
  message += std::to_string(pos.line);
  message += " column ";
  message += std::to_string(pos.column);
  return message;
}

}  // namespace tarmelix::json
