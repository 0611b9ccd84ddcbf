#include "shell/line_display.h"

namespace tessaly {
namespace {

constexpr bool IsControl(unsigned code) {
  return code < 0x20 || code == 0x7F || (code >= 0x80 && code <= 0x9F);
}

// "\xHH" is four characters where the byte was one.
constexpr size_t kEscapeGrowth = 3;

}  // namespace

QString DisplayText(const QString& line) {
  qsizetype first = 0;
  while (first < line.size() && !IsControl(line[first].unicode())) ++first;
  if (first == line.size()) return line;
  static constexpr char kHex[] = "0123456789ABCDEF";
  QString shown = line.left(first);
  for (qsizetype i = first; i < line.size(); ++i) {
    const unsigned code = line[i].unicode();
    if (!IsControl(code)) {
      shown += line[i];
      continue;
    }
    shown += QLatin1String("\\x");
    shown += QLatin1Char(kHex[(code >> 4) & 0xF]);
    shown += QLatin1Char(kHex[code & 0xF]);
  }
  return shown;
}

size_t DisplayLength(std::string_view line) {
  size_t length = line.size();
  for (const char c : line) {
    if (IsControl(static_cast<unsigned char>(c))) length += kEscapeGrowth;
  }
  return length;
}

}  // namespace tessaly
