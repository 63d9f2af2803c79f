// The double-quoted, backslash-escaped form of a text in messages.
#pragma once

#include <string>
#include <string_view>

namespace tarmelix::render {

// \t \n \r \0, doubled backslash, \" ; combining (Grapheme_Extend) and
// non-printable characters as \u{hex}; everything else as itself.
std::string quote_text(std::string_view text);

}  // namespace tarmelix::render

// This unit's interface, used unqualified from the other folders.
namespace tarmelix {
using render::quote_text;
}  // namespace tarmelix
