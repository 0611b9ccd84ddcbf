#include "shell/json_lines.h"

namespace tessaly {

void AppendJsonString(std::string_view text, std::string& out) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '"' || byte == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte == 0x7F) {
      out += "\\u00";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else if (byte < 0x80) {
      out += c;
    } else {
      // U+0080-U+00FF: two bytes of UTF-8.
      out += static_cast<char>(0xC0 | (byte >> 6));
      out += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  out += '"';
}

void AppendJsonLine(std::string_view list, std::string_view line, std::string& out) {
  out += "{\"list\":";
  AppendJsonString(list, out);
  out += ",\"line\":";
  AppendJsonString(line, out);
  out += "}\n";
}

}  // namespace tessaly
