#pragma once

#include <QString>
#include <cstddef>
#include <string_view>

// How a list line looks on screen. Lines are 8-bit text carrying whatever a device sent; shown
// as Latin-1, a carriage return or line feed would break the row and hide what follows it, and
// other control bytes would draw as nothing. So control bytes (0x00-0x1F, 0x7F, and 0x80-0x9F,
// the Latin-1 controls) are shown as \xHH, as the console front end writes them. Only the look
// changes: the list, the model and a copy keep every byte.
namespace tessaly {

QString DisplayText(const QString& line);

// Characters of DisplayText for a line of these bytes.
size_t DisplayLength(std::string_view line);

}  // namespace tessaly
