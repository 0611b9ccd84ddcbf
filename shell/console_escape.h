#pragma once

#include <string>
#include <string_view>

// Lines are 8-bit text that may carry any byte a device sent. Before they reach a terminal:
// bytes 0x00-0x1F and 0x7F become \xHH (two uppercase hex digits), a backslash becomes \\,
// bytes 0x80-0xFF become the UTF-8 form of the Latin-1 character, and every other byte stays.
namespace tessaly {

// Appends the escaped form of `line` to `out`.
void AppendEscaped(std::string_view line, std::string& out);

inline std::string Escaped(std::string_view line) {
  std::string out;
  AppendEscaped(line, out);
  return out;
}

}  // namespace tessaly
