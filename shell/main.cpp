// The program: the monitor window by default, or the console front end, on the RtMidi service.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "capture/host_input_service.h"
#include "shell/console_frontend.h"
#include "shell/console_options.h"
#include "shell/monitor_app.h"
#include "shell/monitor_dlg.h"
#include "shell/monitor_menu.h"
#include "shell/record_option.h"
#include "shell/run_report.h"

namespace {

using namespace tessaly;

// The replay's file can be read: a regular file that opens (else the line says why, and the
// run ends at once).
bool CanReplay(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  struct stat status {};
  const char* why = nullptr;
  if (fd < 0) {
    why = std::strerror(errno);
  } else if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    why = "not a regular file";
  }
  if (fd >= 0) close(fd);
  if (why == nullptr) return true;
  std::fprintf(stderr, "tessaly: cannot replay %s: %s\n", path.c_str(), why);
  return false;
}

// The port opened at start: the replay's, unless --port names one.
uint32_t StartPort(HostInputService& service, const Options& options) {
  if (options.replayFile.empty() || options.portGiven) return options.port;
  return service.ReplayPort().value_or(options.port);
}

void PrintServiceReport(const HostInputService& service) {
  std::fputs(ServiceReport(service.TotalCounts()).c_str(), stdout);
  std::fflush(stdout);
}

// The window with what the command line asks of it: another port than 0, a run of S seconds
// that ends as OK does (for measurements offscreen), the report at the end, and the replay of
// files (the command line's and the context menu's).
int RunWindowWithOptions(int argc, char** argv, HostInputService& service, const Options& options,
                         std::unique_ptr<Recorder> recorder) {
  CMonitorApp app(argc, argv);
  CMonitorDlg dialog(service, StartPort(service, options));
  dialog.SetReplayer([&service](const std::string& path) { return service.SetReplayFile(path); });
  MonitorCore& core = dialog.core();
  // The window's recording from here on: its lines, the menu entry to stop it.
  if (recorder) dialog.Menu().AdoptRecording(std::move(recorder), options.recordFile);
  if (options.seconds) {
    const auto ms = static_cast<int>(std::min(*options.seconds * 1000.0, 2.0e9));
    QTimer::singleShot(ms, &dialog, [&dialog] { dialog.accept(); });
  }
  dialog.exec();
  if (options.report) {
    const OutputList* const lists[4] = {&core.messageBoxList, &core.basicMessageList,
                                        &core.statisticsList, &core.sysexList};
    std::fputs(ListReport(core.statisticsList, lists).c_str(), stdout);
    PrintServiceReport(service);
  }
  return 0;
}

// The console front end with what the command line asks of it; the recording, if any, stops
// once the port is shut down.
int RunConsoleWithOptions(HostInputService& service, const Options& options,
                          const std::unique_ptr<Recorder>& recorder) {
  // The console prints its statistics rows itself; the report adds the service's counts,
  // taken once the port is shut down.
  ConsoleSettings settings{StartPort(service, options), options.seconds, STDIN_FILENO, options.json,
                           options.saveDir};
  // Replaying the file from the start, the run ends once the file's last event is shown.
  if (!options.replayFile.empty() && service.ReplayPort() == settings.port) {
    settings.inputEnded = [&service] { return service.files().Ended(); };
  }
  return RunConsole(service, settings, stdout, [&] {
    if (options.report) PrintServiceReport(service);
    service.ForceClose();
    if (recorder) StopRecording(service, *recorder);
  });
}

}  // namespace

int main(int argc, char** argv) {
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
      HostInputService service;
      return ListPorts(service, stdout);
    }
    case RunMode::kConsole:
      // Before the service makes any thread, so that the stop signals reach the console loop.
      BlockStopSignals();
      // A console in the background of a shell then reads EIO from its terminal (and stops
      // reading commands) instead of being stopped.
      signal(SIGTTIN, SIG_IGN);
      break;
    case RunMode::kWindow:
      break;
  }
  if (!options.replayFile.empty() && !CanReplay(options.replayFile)) return 1;
  HostInputService service(options.replayFile, options.fast);
  std::unique_ptr<Recorder> recorder;
  if (!options.recordFile.empty()) {
    recorder = StartRecording(service, options.recordFile);
    if (!recorder) return 1;
  }
  if (options.mode == RunMode::kConsole) return RunConsoleWithOptions(service, options, recorder);
  return RunWindowWithOptions(argc, argv, service, options, std::move(recorder));
}
