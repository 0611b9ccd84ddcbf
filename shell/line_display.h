#pragma once

#include <QString>
#include <cstddef>
#include <string_view>

// How a list line and a port name look on screen: by the console's rule (display/
// text_escape.h), so a carriage return or line feed cannot break a row, no control byte draws
// as nothing, and the text "\x0D" cannot pass for a carriage return. Only the look changes:
// the list, the model and a copy keep every byte.
namespace tessaly {

// A list line (8-bit text, each byte a Latin-1 character) as shown.
QString DisplayText(std::string_view line);

// Characters of DisplayText for a line of these bytes.
size_t DisplayLength(std::string_view line);

// A port name (UTF-8 from the MIDI system) as shown.
QString DisplayName(std::string_view name);

}  // namespace tessaly
