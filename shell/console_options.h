#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The command line of the program:
//   tessaly [--port N] [--seconds S] [--report]            the window
//   tessaly --console [--port N] [--seconds S] [--report] [--json] [--save DIR]
//                 [--record FILE] [--replay FILE [--fast]]
//                                                         the console front end
//   tessaly --list-ports | --help | --version
// Values may follow as the next argument or after '=' (--port=2).
namespace tessaly {

enum class RunMode { kWindow, kConsole, kListPorts, kHelp, kVersion };

struct Options {
  RunMode mode = RunMode::kWindow;
  uint32_t port = 0;
  std::optional<double> seconds{};  // run time; none: until interrupted or closed
  bool report = false;              // the run's figures on standard output at the end
  bool json = false;                // console: JSON Lines instead of tagged text
  std::string saveDir{};            // console: the four lists saved there at the end
  std::string recordFile{};         // console and window: what the ports deliver, recorded there
  std::string replayFile{};         // console and window: a capture file replayed as a port
  bool fast = false;                // the replay as fast as the monitor takes it
  bool portGiven = false;           // --port was given (else the replay's port opens first)
};

struct ParsedOptions {
  bool ok = false;
  Options options;
  std::string error;  // why not ok, one line, no newline
};

ParsedOptions ParseOptions(const std::vector<std::string_view>& args);

// The usage text, ending in a newline.
std::string_view UsageText();
// "tessaly <version>\n".
std::string VersionText();

}  // namespace tessaly
