#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "capture/midi_input_service.h"
#include "display/output_list.h"

// The console front end: the monitor on standard output. It starts like the window
// (ReopenPort on the chosen port, its four status lines), drains every 100 ms and writes every
// line appended to MessageBoxList, BasicMessageList and SysexList, in the order appended, as
// "msg", "midi" or "sysex", a TAB, the escaped line and a newline, flushed after each drain.
// On SIGINT, SIGTERM, when its time is up or when its input has ended it runs ShutdownPort (whose
// lines are written too), drains once more and writes the rows of StatisticsList as "stats", TAB,
// row. Between the 100 ms drains it drains early whenever the capture asks (a queue passed its fill
// mark).
//
// With a command descriptor (standard input) it reads the commands "up" and "down" there and
// steps ports as the window's Up and Down do (see console_commands.h); an unknown command is
// named on standard error; at the end of that input it goes on without commands.
//
// Runs on the calling thread, which is the window thread of its MonitorCore.
namespace tessaly {

class MonitorCore;

// Writes list lines as the console shows them. Window thread.
class ConsoleWriter : public LineObserver {
 public:
  // `json`: JSON Lines (shell/json_lines.h) instead of tagged text.
  explicit ConsoleWriter(std::FILE* out, bool json = false) : out_(out), json_(json) {}
  // Writes what is still pending (not flushed).
  ~ConsoleWriter() override;
  ConsoleWriter(const ConsoleWriter&) = delete;
  ConsoleWriter& operator=(const ConsoleWriter&) = delete;

  // Writes every line later appended to `list` with `tag`.
  void Follow(OutputList& list, std::string_view tag);
  void LineAppended(const OutputList& list, std::string_view line) override;
  // Adds one line with `tag`. Lines are collected and written in one piece (a drain's lines
  // together, or every kPendingLimit bytes), so a line costs no stdio call of its own.
  void Write(std::string_view tag, std::string_view line);
  // Writes the lines collected so far and flushes the stream.
  void Flush();

 private:
  static constexpr size_t kPendingLimit = size_t{1} << 16;

  void WritePending();

  std::FILE* out_;
  bool json_;
  const OutputList* lists_[3] = {};
  std::string_view tags_[3];
  std::string pending_;
};

struct ConsoleSettings {
  uint32_t port = 0;
  std::optional<double> seconds;  // none: until SIGINT or SIGTERM
  int commandFd = -1;             // commands, one per line; -1: none
  bool json = false;              // JSON Lines instead of tagged text
  std::string saveDir{};          // at the end, the four lists saved there; empty: not saved
  // Asked after each drain: true once the input has ended for good (a replayed file's last
  // event was shown); the run then ends as on SIGTERM. None: only signals and time end it.
  std::function<bool()> inputEnded{};
};

// Blocks SIGINT and SIGTERM for the calling thread and every thread started after, so that
// the console loop takes them. Call first thing, before any service thread exists.
void BlockStopSignals();

// Runs the console on `service` and returns the exit code. `beforeTeardown` runs after the
// last drain, while the capture state still lives (a service that must stop calling back).
int RunConsole(MidiInputService& service, const ConsoleSettings& settings, std::FILE* out,
               const std::function<void()>& beforeTeardown = {});

// Writes one line per port, index, TAB, name (escaped); returns the exit code.
int ListPorts(MidiInputService& service, std::FILE* out);

}  // namespace tessaly
