#include "render/utf8_text.h"

namespace tarmelix::render {

namespace {

bool is_continuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Length of a well-formed sequence starting at `pos`, or 0.
size_t sequence_length(std::string_view text, size_t pos, char32_t& cp) {
  const auto b0 = static_cast<unsigned char>(text[pos]);
  size_t len;
  char32_t min;
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  } else if ((b0 & 0xE0) == 0xC0) {
    len = 2, min = 0x80, cp = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, min = 0x800, cp = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, min = 0x10000, cp = b0 & 0x07;
  } else {
    return 0;
  }
  if (text.size() - pos < len) return 0;
  for (size_t i = 1; i < len; ++i) {
    const auto b = static_cast<unsigned char>(text[pos + i]);
    if (!is_continuation(b)) return 0;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

}  // namespace

char32_t next_code_point(std::string_view text, size_t& pos) {
  char32_t cp = 0;
  const size_t len = sequence_length(text, pos, cp);
  if (len == 0) {
    ++pos;
    return 0xFFFD;
  }
  pos += len;
  return cp;
}

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string truncate_chars(std::string_view text, size_t max_chars) {
  size_t pos = 0;
  size_t chars = 0;
  while (pos < text.size() && chars < max_chars) {
    next_code_point(text, pos);
    ++chars;
  }
  if (pos >= text.size()) return std::string(text);
  std::string out(text.substr(0, pos));
  out += "...";
  return out;
}

}  // namespace tarmelix::render
