#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Commands of the console front end, one per line on standard input: "up" and "down" step to
// the next and the previous input port, as the window's Up and Down buttons do. Blanks around
// a word and a carriage return before the newline are ignored; an empty line is nothing; any
// other line is an unknown command. Window thread.
namespace tessaly {

enum class ConsoleCommand { kUp, kDown, kUnknown };

// The command a line (without its newline) asks for; false for an empty line.
bool ParseConsoleCommand(std::string_view line, ConsoleCommand& command);

// Splits what is read from standard input into lines. A line longer than kMaxLine bytes is an
// unknown command (its bytes are not kept), so input of any length uses a bounded buffer.
class ConsoleCommandReader {
 public:
  static constexpr size_t kMaxLine = 64;

  // Takes `bytes` and calls `handle(ConsoleCommand)` for each line they complete.
  template <typename Handler>
  void Feed(std::string_view bytes, Handler&& handle) {
    for (const char c : bytes) {
      if (c != '\n') {
        if (line_.size() < kMaxLine) {
          line_ += c;
        } else {
          overlong_ = true;
        }
        continue;
      }
      ConsoleCommand command = ConsoleCommand::kUnknown;
      if (overlong_ || ParseConsoleCommand(line_, command)) handle(command);
      line_.clear();
      overlong_ = false;
    }
  }

 private:
  std::string line_;
  bool overlong_ = false;
};

}  // namespace tessaly
