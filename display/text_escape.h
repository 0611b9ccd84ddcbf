#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// How device text reaches a terminal or the screen: as UTF-8 that no terminal acts on, and in
// which no escape can be mistaken for the byte it stands for. One rule for the console and the
// window:
// - list lines are 8-bit text, each byte a Latin-1 character;
// - port names come from devices and any local program and are read as UTF-8.
// In both, a control character (C0 0x00-0x1F, DEL 0x7F, C1 U+0080-U+009F) becomes \xHH per
// byte it was sent as (two uppercase hex digits), so does a byte that is not part of a valid
// UTF-8 sequence in a name, and a backslash becomes \\. Everything else is written as the
// character it is.
namespace tessaly {

// Appends the escaped form of the 8-bit line `line` to `out`.
void AppendEscapedLine(std::string_view line, std::string& out);
// Characters (not bytes) that AppendEscapedLine writes for `line`.
size_t EscapedLineLength(std::string_view line);

// Appends the escaped form of the UTF-8 name `name` to `out`.
void AppendEscapedName(std::string_view name, std::string& out);

inline std::string EscapedName(std::string_view name) {
  std::string out;
  AppendEscapedName(name, out);
  return out;
}

}  // namespace tessaly
