// The double-quoted, backslash-escaped form of a text in messages.
#pragma once

#include <string>
#include <string_view>

namespace tarmelix {

// \t \n \r \0, doubled backslash, \" ; combining (Grapheme_Extend) and
// non-printable characters as \u{hex}; everything else as itself.
std::string quote_text(std::string_view text);

}  // namespace tarmelix
