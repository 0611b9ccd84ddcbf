#include "shell/console_commands.h"

namespace tessaly {

bool ParseConsoleCommand(std::string_view line, ConsoleCommand& command) {
  constexpr std::string_view kBlanks = " \t\r";
  const size_t first = line.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return false;
  const std::string_view word = line.substr(first, line.find_last_not_of(kBlanks) + 1 - first);
  if (word == "up") {
    command = ConsoleCommand::kUp;
  } else if (word == "down") {
    command = ConsoleCommand::kDown;
  } else {
    command = ConsoleCommand::kUnknown;
  }
  return true;
}

}  // namespace tessaly
