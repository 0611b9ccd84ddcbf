#include "tests/e2e/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace tessaly::e2e {
namespace {

using Clock = std::chrono::steady_clock;

// Every wait of the tests, times TESSALY_E2E_TIME_SCALE (an emulated guest runs several times
// slower than the host).
Millis Scaled(Millis duration) {
  static const long scale = [] {
    const char* value = std::getenv("TESSALY_E2E_TIME_SCALE");
    const long parsed = value != nullptr ? std::strtol(value, nullptr, 10) : 1;
    return parsed >= 1 ? parsed : 1;
  }();
  return duration * scale;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv,
                           const std::map<std::string, std::string>& environment) {
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
    return;
  }
  // Built before fork: the child only calls async-signal-safe functions.
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  std::map<std::string, std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const char* equals = std::strchr(*e, '=');
    if (equals != nullptr) env[std::string(*e, static_cast<size_t>(equals - *e))] = equals + 1;
  }
  for (const auto& [key, value] : environment) {
    if (value.empty()) {
      env.erase(key);
    } else {
      env[key] = value;
    }
  }
  std::vector<std::string> envText;
  for (const auto& [key, value] : env) envText.push_back(key + "=" + value);
  std::vector<char*> envp;
  for (std::string& text : envText) envp.push_back(text.data());
  envp.push_back(nullptr);

  pid_ = fork();
  if (pid_ == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    // The stop signals are blocked in the test; the child starts with the defaults.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execve(args[0], args.data(), envp.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  input_ = in[1];
  output_ = out[0];
  error_fd_ = err[0];
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !exitCode_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  for (int fd : {input_, output_, error_fd_}) {
    if (fd >= 0) close(fd);
  }
}

bool ChildProcess::WriteLine(const std::string& line) {
  if (input_ < 0) return false;
  const std::string text = line + "\n";
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(input_, text.data() + done, text.size() - done);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

void ChildProcess::CloseInput() {
  if (input_ >= 0) close(input_);
  input_ = -1;
}

bool ChildProcess::Pump(Millis timeout) {
  pollfd fds[2] = {{output_, POLLIN, 0}, {error_fd_, POLLIN, 0}};
  if (output_ < 0 && error_fd_ < 0) return false;
  if (poll(fds, 2, static_cast<int>(timeout.count())) <= 0) return true;
  char buffer[65536];
  if (output_ >= 0 && (fds[0].revents & (POLLIN | POLLHUP)) != 0) {
    const ssize_t n = read(output_, buffer, sizeof buffer);
    if (n <= 0) {
      close(output_);
      output_ = -1;
      if (!partial_.empty()) lines_.push_back(partial_);
      partial_.clear();
    } else {
      partial_.append(buffer, static_cast<size_t>(n));
      size_t start = 0;
      for (size_t newline; (newline = partial_.find('\n', start)) != std::string::npos;
           start = newline + 1) {
        lines_.push_back(partial_.substr(start, newline - start));
      }
      partial_.erase(0, start);
    }
  }
  if (error_fd_ >= 0 && (fds[1].revents & (POLLIN | POLLHUP)) != 0) {
    const ssize_t n = read(error_fd_, buffer, sizeof buffer);
    if (n <= 0) {
      close(error_fd_);
      error_fd_ = -1;
    } else {
      error_.append(buffer, static_cast<size_t>(n));
    }
  }
  return output_ >= 0 || error_fd_ >= 0;
}

std::optional<std::string> ChildProcess::WaitForLine(
    const std::function<bool(const std::string&)>& match, Millis timeout) {
  const auto deadline = Clock::now() + Scaled(timeout);
  for (;;) {
    for (; matched_ < lines_.size(); ++matched_) {
      if (match(lines_[matched_])) return lines_[matched_++];
    }
    const auto left = std::chrono::duration_cast<Millis>(deadline - Clock::now());
    if (left.count() <= 0) return std::nullopt;
    if (!Pump(std::min(left, Millis(100))) && matched_ == lines_.size()) return std::nullopt;
  }
}

void ChildProcess::ReadFor(Millis duration) {
  const auto deadline = Clock::now() + Scaled(duration);
  for (;;) {
    const auto left = std::chrono::duration_cast<Millis>(deadline - Clock::now());
    if (left.count() <= 0 || !Pump(std::min(left, Millis(100)))) return;
  }
}

void ChildProcess::Signal(int signal) {
  if (pid_ > 0 && !exitCode_) kill(pid_, signal);
}

bool ChildProcess::Running() {
  if (pid_ <= 0 || exitCode_) return false;
  int status = 0;
  const pid_t done = waitpid(pid_, &status, WNOHANG);
  if (done == pid_) {
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return false;
  }
  return true;
}

std::optional<int> ChildProcess::Wait(Millis timeout) {
  const auto deadline = Clock::now() + Scaled(timeout);
  while (Running()) {
    const auto left = std::chrono::duration_cast<Millis>(deadline - Clock::now());
    if (left.count() <= 0) return std::nullopt;
    if (!Pump(std::min(left, Millis(20)))) std::this_thread::sleep_for(Millis(10));
  }
  // Whatever the process wrote before it ended.
  ReadFor(Millis(200));
  return exitCode_;
}

}  // namespace tessaly::e2e
