#include "shell/console_options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <string>

#include "shell/version.h"

namespace tessaly {
namespace {

constexpr std::string_view kUsage =
    "usage: tessaly [--port N] [--seconds S] [--report]\n"
    "                                  open the monitor window on input port N (default 0);\n"
    "                                  with --seconds it closes itself after S seconds, as\n"
    "                                  if OK was clicked\n"
    "       tessaly --console [--port N] [--seconds S] [--report]\n"
    "                                  monitor input port N (default 0) on standard output\n"
    "                                  until interrupted, or for S seconds; the lines\n"
    "                                  up and down on standard input step to the next\n"
    "                                  and the previous port\n"
    "                                  --report: at the end, print the statistics rows, the\n"
    "                                  line count of each list and the service's counts\n"
    "                                  --json: the lines as JSON Lines (see the README)\n"
    "                                  --save DIR: at the end, save the four lists in DIR\n"
    "                                  as their clipboard text, one file per list\n"
    "                                  --record FILE (also in the window): record what the\n"
    "                                  ports deliver to FILE: a capture log, or by its\n"
    "                                  ending an SMF (.mid) or sysex alone (.syx)\n"
    "                                  --replay FILE (also in the window): FILE (any of\n"
    "                                  the three, or an SMF of format 0 or 1) becomes an\n"
    "                                  input port, opened at start unless --port names\n"
    "                                  another; in its own time, or with --fast as fast as\n"
    "                                  the monitor takes it; the console ends after its end\n"
    "       tessaly --list-ports       list the MIDI input ports, one per line\n"
    "       tessaly --help             show this text\n"
    "       tessaly --version          show the version\n";

bool ParsePort(std::string_view text, uint32_t& port) {
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, port, 10);
  return !text.empty() && error == std::errc() && stop == end;
}

bool ParseSeconds(std::string_view text, double& seconds) {
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, seconds);
  return !text.empty() && error == std::errc() && stop == end && std::isfinite(seconds) &&
         seconds >= 0;
}

ParsedOptions Fail(std::string error) {
  ParsedOptions parsed;
  parsed.error = std::move(error);
  return parsed;
}

// The options that only switch something on, and those that name a file or folder.
struct FlagOption {
  std::string_view name;
  bool Options::*set;
};
constexpr FlagOption kFlagOptions[] = {
    {"--json", &Options::json}, {"--fast", &Options::fast}, {"--report", &Options::report}};

struct PathOption {
  std::string_view name;
  std::string Options::*set;
  const char* what;
};
const PathOption kPathOptions[] = {{"--save", &Options::saveDir, "a folder"},
                                   {"--record", &Options::recordFile, "a file"},
                                   {"--replay", &Options::replayFile, "a file"}};

}  // namespace

std::string_view UsageText() {
  return kUsage;
}

std::string VersionText() {
  return std::string("tessaly ") + kVersion + "\n";
}

ParsedOptions ParseOptions(const std::vector<std::string_view>& args) {
  ParsedOptions parsed;
  Options& options = parsed.options;
  bool modeGiven = false;
  bool portGiven = false;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string_view name = args[i];
    std::optional<std::string_view> inlineValue;
    if (const size_t equals = name.find('='); name.starts_with("--") && equals != name.npos) {
      inlineValue = name.substr(equals + 1);
      name = name.substr(0, equals);
    }
    // The value of an option: after '=' or the next argument.
    auto value = [&](std::string_view& out) {
      if (inlineValue) {
        out = *inlineValue;
        return true;
      }
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    RunMode mode = RunMode::kWindow;
    if (name == "--console") {
      mode = RunMode::kConsole;
    } else if (name == "--list-ports") {
      mode = RunMode::kListPorts;
    } else if (name == "--help") {
      mode = RunMode::kHelp;
    } else if (name == "--version") {
      mode = RunMode::kVersion;
    } else if (name == "--port") {
      std::string_view text;
      if (!value(text)) return Fail("--port needs a port number");
      if (!ParsePort(text, options.port)) return Fail("bad port number: " + std::string(text));
      portGiven = true;
      continue;
    } else if (name == "--seconds") {
      std::string_view text;
      double seconds = 0;
      if (!value(text)) return Fail("--seconds needs a number of seconds");
      if (!ParseSeconds(text, seconds)) return Fail("bad number of seconds: " + std::string(text));
      options.seconds = seconds;
      continue;
    } else if (const auto flag = std::ranges::find(kFlagOptions, name, &FlagOption::name);
               flag != std::end(kFlagOptions)) {
      if (inlineValue) return Fail(std::string(name) + " takes no value");
      options.*(flag->set) = true;
      continue;
    } else if (const auto path = std::ranges::find(kPathOptions, name, &PathOption::name);
               path != std::end(kPathOptions)) {
      std::string_view text;
      if (!value(text) || text.empty()) return Fail(std::string(name) + " needs " + path->what);
      options.*(path->set) = std::string(text);
      continue;
    } else {
      return Fail("unknown option: " + std::string(args[i]));
    }
    if (inlineValue) return Fail(std::string(name) + " takes no value");
    if (modeGiven && options.mode != mode) {
      return Fail("choose one of --console, --list-ports, --help, --version");
    }
    modeGiven = true;
    options.mode = mode;
  }
  if (options.mode != RunMode::kConsole && options.mode != RunMode::kWindow &&
      (portGiven || options.seconds || options.report)) {
    return Fail("--port, --seconds and --report go with the window or --console");
  }
  if (options.mode != RunMode::kConsole && (options.json || !options.saveDir.empty())) {
    return Fail("--json and --save go with --console");
  }
  if (options.mode != RunMode::kConsole && options.mode != RunMode::kWindow &&
      !options.recordFile.empty()) {
    return Fail("--record goes with the window or --console");
  }
  if (options.mode != RunMode::kConsole && options.mode != RunMode::kWindow &&
      !options.replayFile.empty()) {
    return Fail("--replay goes with the window or --console");
  }
  if (options.fast && options.replayFile.empty()) return Fail("--fast goes with --replay");
  options.portGiven = portGiven;
  parsed.ok = true;
  return parsed;
}

}  // namespace tessaly
