// The program: the monitor window by default, or the console front end, on the RtMidi service.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <string_view>
#include <vector>

#include "capture/rtmidi_input_service.h"
#include "shell/console_frontend.h"
#include "shell/console_options.h"
#include "shell/window_main.h"

int main(int argc, char** argv) {
  using namespace tessaly;
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  const ParsedOptions parsed = ParseOptions(args);
  if (!parsed.ok) {
    std::fprintf(stderr, "tessaly: %s\n", parsed.error.c_str());
    std::fputs(UsageText().data(), stderr);
    return 2;
  }
  const Options& options = parsed.options;
  switch (options.mode) {
    case RunMode::kHelp:
      std::fputs(UsageText().data(), stdout);
      return 0;
    case RunMode::kVersion:
      std::fputs(VersionText().c_str(), stdout);
      return 0;
    case RunMode::kListPorts: {
      RtMidiInputService service;
      return ListPorts(service, stdout);
    }
    case RunMode::kConsole: {
      // Before the service makes any thread, so that the stop signals reach the console loop.
      BlockStopSignals();
      // A console in the background of a shell then reads EIO from its terminal (and stops
      // reading commands) instead of being stopped.
      signal(SIGTTIN, SIG_IGN);
      RtMidiInputService service;
      return RunConsole(service, {options.port, options.seconds, STDIN_FILENO}, stdout,
                        [&service] { service.ForceClose(); });
    }
    case RunMode::kWindow:
      break;
  }
  RtMidiInputService service;
  return RunWindow(argc, argv, service);
}
