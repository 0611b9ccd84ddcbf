// The program: the monitor window by default, or the console front end, on the RtMidi service.
#include <signal.h>
#include <unistd.h>

#include <QTimer>
#include <algorithm>
#include <cstdio>
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
#include "shell/window_main.h"

namespace {

using namespace tessaly;

void PrintServiceReport(const HostInputService& service) {
  std::fputs(ServiceReport(service.TotalCounts()).c_str(), stdout);
  std::fflush(stdout);
}

// The window with what the command line asks of it: another port than 0, a run of S seconds
// that ends as OK does (for measurements offscreen), and the report at the end.
int RunWindowWithOptions(int argc, char** argv, HostInputService& service, const Options& options,
                         std::unique_ptr<Recorder> recorder) {
  CMonitorApp app(argc, argv);
  CMonitorDlg dialog(service, options.port);
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
    case RunMode::kConsole: {
      // Before the service makes any thread, so that the stop signals reach the console loop.
      BlockStopSignals();
      // A console in the background of a shell then reads EIO from its terminal (and stops
      // reading commands) instead of being stopped.
      signal(SIGTTIN, SIG_IGN);
      HostInputService service;
      std::unique_ptr<Recorder> recorder;
      if (!options.recordFile.empty()) {
        recorder = StartRecording(service, options.recordFile);
        if (!recorder) return 1;
      }
      // The console prints its statistics rows itself; the report adds the service's counts,
      // taken once the port is shut down.
      const ConsoleSettings settings{options.port, options.seconds, STDIN_FILENO, options.json,
                                     options.saveDir};
      return RunConsole(service, settings, stdout, [&] {
        if (options.report) PrintServiceReport(service);
        service.ForceClose();
        if (recorder) StopRecording(service, *recorder);
      });
    }
    case RunMode::kWindow:
      break;
  }
  HostInputService service;
  std::unique_ptr<Recorder> recorder;
  if (!options.recordFile.empty()) {
    recorder = StartRecording(service, options.recordFile);
    if (!recorder) return 1;
  }
  if (options.port == 0 && !options.seconds && !options.report && !recorder) {
    return RunWindow(argc, argv, service);
  }
  return RunWindowWithOptions(argc, argv, service, options, std::move(recorder));
}
