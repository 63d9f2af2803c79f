#include "render/quote.h"

#include <algorithm>
#include <iterator>

#include "render/escape_table.inc"
#include "render/utf8_text.h"

namespace tarmelix::render {

namespace {

bool needs_escape(char32_t cp) {
  if (cp >= 0x20 && cp < 0x7F) return false;
  const auto* end = std::end(ESCAPED_RANGES);
  // First range whose last character is not below cp.
  const auto* it = std::lower_bound(std::begin(ESCAPED_RANGES), end, static_cast<uint32_t>(cp),
                                    [](const uint32_t(&range)[2], uint32_t c) { return range[1] < c; });
  return it != end && (*it)[0] <= cp;
}

void append_hex_escape(std::string& out, char32_t cp) {
  static constexpr char digits[] = "0123456789abcdef";
  char buf[8];
  int n = 0;
  do {
    buf[n++] = digits[cp & 0xF];
    cp >>= 4;
  } while (cp);
  out += "\\u{";
  while (n) out += buf[--n];
  out += '}';
}

}  // namespace

std::string quote_text(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  size_t pos = 0;
  while (pos < text.size()) {
    const char32_t cp = next_code_point(text, pos);
    switch (cp) {
      case U'\t': out += "\\t"; break;
      case U'\n': out += "\\n"; break;
      case U'\r': out += "\\r"; break;
      case U'\0': out += "\\0"; break;
      case U'\\': out += "\\\\"; break;
      case U'"': out += "\\\""; break;
      default:
        if (needs_escape(cp)) {
          append_hex_escape(out, cp);
        } else {
          append_utf8(out, cp);
        }
    }
  }
  out += '"';
  return out;
}

}  // namespace tarmelix::render
