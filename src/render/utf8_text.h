// Character-level operations on UTF-8 texts.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tarmelix::render {

// The text when it has at most max_chars characters, else its first
// max_chars characters followed by "..." (never cut inside a character).
std::string truncate_chars(std::string_view text, size_t max_chars);

// Reads one character at `pos` and advances past it. A malformed byte is read
// as U+FFFD and skipped alone, so a scan always ends.
char32_t next_code_point(std::string_view text, size_t& pos);

// Appends the UTF-8 form of a character.
void append_utf8(std::string& out, char32_t cp);

}  // namespace tarmelix::render

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using render::truncate_chars;
}  // namespace tarmelix
