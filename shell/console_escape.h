#pragma once

#include <string>
#include <string_view>

#include "display/text_escape.h"

// The console writes every line by the one rule of display/text_escape.h.
namespace tessaly {

inline void AppendEscaped(std::string_view line, std::string& out) {
  AppendEscapedLine(line, out);
}

inline std::string Escaped(std::string_view line) {
  std::string out;
  AppendEscapedLine(line, out);
  return out;
}

}  // namespace tessaly
