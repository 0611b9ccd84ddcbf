#include "shell/console_escape.h"

#include <cstdint>

namespace tessaly {

void AppendEscaped(std::string_view line, std::string& out) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out.reserve(out.size() + line.size());
  for (const char c : line) {
    const uint8_t byte = static_cast<uint8_t>(c);
    if (byte < 0x20 || byte == 0x7F) {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    } else if (byte == '\\') {
      out += "\\\\";
    } else if (byte >= 0x80) {
      // Latin-1 U+0080..U+00FF in UTF-8: two bytes, 110000xx 10xxxxxx.
      out += static_cast<char>(0xC0 | (byte >> 6));
      out += static_cast<char>(0x80 | (byte & 0x3F));
    } else {
      out += c;
    }
  }
}

}  // namespace tessaly
