#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

// A child process for the end-to-end tests: its standard input is ours to write, its standard
// output comes back line by line, its standard error is kept for the failure report. The
// destructor kills it (by its process id) if it still runs. Every timeout and duration is
// multiplied by TESSALY_E2E_TIME_SCALE when it is set (the emulated guest is slower).
namespace tessaly::e2e {

using Millis = std::chrono::milliseconds;

class ChildProcess {
 public:
  // Starts `argv` with the environment of this process, changed by `environment`
  // (an empty value removes the variable).
  ChildProcess(const std::vector<std::string>& argv,
               const std::map<std::string, std::string>& environment = {});
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  bool WriteLine(const std::string& line);
  void CloseInput();

  // Waits until a line of standard output satisfies `match`; returns it. Every line read is
  // kept in Lines().
  std::optional<std::string> WaitForLine(const std::function<bool(const std::string&)>& match,
                                         Millis timeout);
  std::optional<std::string> WaitForLine(const std::string& exact, Millis timeout) {
    return WaitForLine([&](const std::string& line) { return line == exact; }, timeout);
  }
  // Reads what comes for `duration` (or until the output ends).
  void ReadFor(Millis duration);
  const std::vector<std::string>& Lines() const { return lines_; }
  const std::string& ErrorText() const { return error_; }

  void Signal(int signal);
  // The exit code once the process ended within `timeout` (reading its output meanwhile);
  // -1 for a process ended by a signal, nullopt when it still runs.
  std::optional<int> Wait(Millis timeout);
  bool Running();

 private:
  // Reads what is there within `timeout`; false once both outputs are closed.
  bool Pump(Millis timeout);

  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  int error_fd_ = -1;
  std::string partial_;
  std::vector<std::string> lines_;
  size_t matched_ = 0;  // lines before this were already offered to WaitForLine
  std::string error_;
  std::optional<int> exitCode_;
};

}  // namespace tessaly::e2e
