#include "shell/console_frontend.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "display/monitor_core.h"
#include "shell/console_commands.h"
#include "shell/console_escape.h"
#include "shell/json_lines.h"
#include "shell/save_lists.h"

namespace tessaly {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kDrainPeriod = std::chrono::milliseconds(100);

class SilentView : public MonitorView {
 public:
  void Refresh() override {}
};

sigset_t StopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  return signals;
}

// The stop signals as a descriptor to poll; -1 when none could be made (then only the time
// limit ends the run).
class StopSignalFd {
 public:
  StopSignalFd() {
    const sigset_t signals = StopSignals();
    fd_ = signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC);
  }
  ~StopSignalFd() {
    if (fd_ >= 0) close(fd_);
  }
  StopSignalFd(const StopSignalFd&) = delete;
  StopSignalFd& operator=(const StopSignalFd&) = delete;

  int fd() const { return fd_; }
  bool Taken() {
    signalfd_siginfo info;
    return fd_ >= 0 && read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info);
  }

 private:
  int fd_ = -1;
};

enum class Wake { kDeadline, kStopSignal, kEarlyDrain, kCommand };

// Waits until `deadline`, a stop signal, the capture's request for an early drain (a queue
// passed its fill mark) or input on `commandFd`; `drainFd` and `commandFd` are -1 when there
// is no such request or no command input.
Wake WaitUntil(StopSignalFd& stop, int drainFd, int commandFd, Clock::time_point deadline) {
  for (;;) {
    const auto now = Clock::now();
    if (now >= deadline) return Wake::kDeadline;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
    pollfd fds[3] = {{stop.fd(), POLLIN, 0}, {drainFd, POLLIN, 0}, {commandFd, POLLIN, 0}};
    if (poll(fds, 3, static_cast<int>(left)) <= 0) continue;
    if ((fds[0].revents & POLLIN) != 0 && stop.Taken()) return Wake::kStopSignal;
    if ((fds[1].revents & POLLIN) != 0) return Wake::kEarlyDrain;
    // POLLHUP and POLLERR too: the read that follows sees the end of the input.
    if (fds[2].revents != 0) return Wake::kCommand;
  }
}

// Reads what is there on `fd` and runs the commands it completes; -1 once the input has
// ended or failed (a background process reading its terminal, with SIGTTIN ignored, gets
// EIO), so that it is not polled again.
// Each step is drained at once, as the window's timer would between two clicks, so that its
// release line comes before the next step's lines.
int ReadCommands(int fd, ConsoleCommandReader& reader, MonitorCore& core) {
  char bytes[256];
  const ssize_t n = read(fd, bytes, sizeof bytes);
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return fd;
  if (n <= 0) return -1;
  reader.Feed(std::string_view(bytes, static_cast<size_t>(n)), [&](ConsoleCommand command) {
    switch (command) {
      case ConsoleCommand::kUp:
        core.ports().NextPort();
        core.DrainAndDisplay();
        break;
      case ConsoleCommand::kDown:
        core.ports().PreviousPort();
        core.DrainAndDisplay();
        break;
      case ConsoleCommand::kUnknown:
        std::fputs("tessaly: unknown command; the commands are up and down\n", stderr);
        break;
    }
  });
  return fd;
}

}  // namespace

void ConsoleWriter::Follow(OutputList& list, std::string_view tag) {
  for (size_t i = 0; i < 3; ++i) {
    if (lists_[i] == nullptr || lists_[i] == &list) {
      lists_[i] = &list;
      tags_[i] = tag;
      list.SetObserver(this);
      return;
    }
  }
}

void ConsoleWriter::LineAppended(const OutputList& list, std::string_view line) {
  for (size_t i = 0; i < 3; ++i) {
    if (lists_[i] == &list) {
      Write(tags_[i], line);
      return;
    }
  }
}

ConsoleWriter::~ConsoleWriter() {
  WritePending();
}

void ConsoleWriter::Write(std::string_view tag, std::string_view line) {
  if (json_) {
    AppendJsonLine(tag, line, pending_);
  } else {
    pending_ += tag;
    pending_ += '\t';
    AppendEscaped(line, pending_);
    pending_ += '\n';
  }
  if (pending_.size() >= kPendingLimit) WritePending();
}

void ConsoleWriter::Flush() {
  WritePending();
  std::fflush(out_);
}

void ConsoleWriter::WritePending() {
  if (pending_.empty()) return;
  std::fwrite(pending_.data(), 1, pending_.size(), out_);
  pending_.clear();
}

void BlockStopSignals() {
  const sigset_t signals = StopSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

int RunConsole(MidiInputService& service, const ConsoleSettings& settings, std::FILE* out,
               const std::function<void()>& beforeTeardown) {
  BlockStopSignals();
  StopSignalFd stop;
  ConsoleWriter writer(out, settings.json);
  SilentView view;
  MonitorCore core(service);
  core.SetView(&view);
  writer.Follow(core.messageBoxList, "msg");
  writer.Follow(core.basicMessageList, "midi");
  writer.Follow(core.sysexList, "sysex");
  // Only a save reads these lists back; without one they pass their lines on and keep none, so
  // that a long run (a file replayed) does not grow with its input.
  if (settings.saveDir.empty()) {
    for (OutputList* list : {&core.messageBoxList, &core.basicMessageList, &core.sysexList}) {
      list->SetKeepLines(false);
    }
  }

  const auto start = Clock::now();
  const auto end = settings.seconds ? start + std::chrono::duration_cast<Clock::duration>(
                                                  std::chrono::duration<double>(*settings.seconds))
                                    : Clock::time_point::max();
  core.ports().SelectPort(settings.port);
  core.ports().ReopenPort();
  writer.Flush();

  // A drain every 100 ms, and an early one whenever the capture asks for it.
  const int drainFd = core.capture().drainWake.fd();
  int commandFd = settings.commandFd;
  ConsoleCommandReader commands;
  auto nextDrain = start + kDrainPeriod;
  for (;;) {
    const bool last = nextDrain >= end;
    const Wake wake = WaitUntil(stop, drainFd, commandFd, last ? end : nextDrain);
    if (wake == Wake::kStopSignal || (wake == Wake::kDeadline && last)) break;
    if (wake == Wake::kCommand) {
      // What was captured before the step is shown before its status lines.
      core.DrainAndDisplay();
      commandFd = ReadCommands(commandFd, commands, core);
      writer.Flush();
      continue;
    }
    // Asked before the drain, so that the drain shows all of the input that has ended.
    const bool ended = settings.inputEnded && settings.inputEnded();
    core.DrainAndDisplay();
    writer.Flush();
    if (ended) break;
    if (wake == Wake::kEarlyDrain) continue;
    nextDrain += kDrainPeriod;
    // After a stall (a suspended process), carry on from now rather than drain in a burst.
    if (nextDrain < Clock::now()) nextDrain = Clock::now() + kDrainPeriod;
  }

  core.Shutdown();
  core.DrainAndDisplay();
  const OutputList& statistics = core.statisticsList;
  for (size_t i = 0; i < statistics.Count(); ++i) writer.Write("stats", statistics.Line(i));
  writer.Flush();
  const int code =
      settings.saveDir.empty() ? 0 : ReportSavedLists(SaveLists(core, settings.saveDir));
  if (beforeTeardown) beforeTeardown();
  return code;
}

int ListPorts(MidiInputService& service, std::FILE* out) {
  const uint32_t count = service.GetNumDevs();
  std::string line;
  for (uint32_t port = 0; port < count; ++port) {
    PortCaps caps;
    if (service.GetDevCaps(port, &caps, kPortCapsSize) != kNoError) caps.productName[0] = '\0';
    caps.productName[kProductNameSize - 1] = '\0';
    line = std::to_string(port);
    line += '\t';
    AppendEscapedName(caps.productName, line);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), out);
  }
  std::fflush(out);
  return 0;
}

}  // namespace tessaly
