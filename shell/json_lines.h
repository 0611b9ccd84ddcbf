#pragma once

#include <string>
#include <string_view>

// The console's lines as JSON Lines (--json): one object per line,
//   {"list":"midi","line":"..."}
// with the same list tags as the text output (msg, midi, sysex, stats). A line is 8-bit
// text; every byte is kept as the character of the same code (Latin-1): bytes 0x80-0xFF as
// U+0080-U+00FF in UTF-8, '"' and '\' escaped, bytes below 0x20 and 0x7F as \u00XX. The
// output is always valid UTF-8, and a reader gets the line's bytes back by taking each
// character's code as one byte.
namespace tessaly {

// Appends the object for `line` and a newline to `out`.
void AppendJsonLine(std::string_view list, std::string_view line, std::string& out);

// Appends `text` as a JSON string, quotes included, each byte as described above.
void AppendJsonString(std::string_view text, std::string& out);

}  // namespace tessaly
