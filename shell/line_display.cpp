#include "shell/line_display.h"

#include <string>

#include "display/text_escape.h"

namespace tessaly {

QString DisplayText(std::string_view line) {
  std::string shown;
  AppendEscapedLine(line, shown);
  return QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size()));
}

size_t DisplayLength(std::string_view line) {
  return EscapedLineLength(line);
}

QString DisplayName(std::string_view name) {
  const std::string shown = EscapedName(name);
  return QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size()));
}

}  // namespace tessaly
