#pragma once

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/child_process.h"
#include "tests/e2e/console_lines.h"
#include "tests/e2e/midi_system.h"

// The fixture every end-to-end case starts from: the monitor (console front end) and our
// senders on the system under test (midi_system.h), in `environment_`.
namespace tessaly::e2e {

using namespace std::chrono_literals;

// A new link may carry only some cycles after the connect call returned (PipeWire makes it
// active late, later still on a busy machine), and what is sent before then is never
// carried. `hex` is sent again until the monitor shows a line ending in `shown`; false when
// ten tries showed none.
inline bool SendUntilShown(ChildProcess& sender, ChildProcess& monitor,
                           const std::string& hex = "90 3C 64",
                           const std::string& shown = "# 060 ,Vel 100 , ") {
  for (int attempt = 0; attempt < 10; ++attempt) {
    sender.WriteLine("send " + hex);
    if (monitor.WaitForLine(EndsWith(shown), 1s)) return true;
  }
  return false;
}

class MonitorTest : public ::testing::Test {
 protected:
  // A sender of the system's kind offering CLIENT:out (or, with `connect`, connected to the
  // first input port whose name contains it), once it says it is ready.
  std::unique_ptr<ChildProcess> Sender(const std::string& name, const std::string& connect = "") {
    std::vector<std::string> argv = {SenderBinary(), "--name", name};
    if (!connect.empty()) argv.insert(argv.end(), {"--connect", connect});
    auto sender = std::make_unique<ChildProcess>(OnSystem(argv), environment_);
    EXPECT_TRUE(sender->WaitForLine("ready", 10s)) << sender->ErrorText();
    return sender;
  }

  // Ends a sender as a user would: what it sent is carried, and it exits 0.
  static void Quit(ChildProcess& sender) {
    sender.WriteLine("quit");
    EXPECT_EQ(sender.Wait(10s), 0) << sender.ErrorText();
  }

  Lines ListPorts() {
    ChildProcess list(OnSystem({TESSALY_BINARY, "--list-ports"}), environment_);
    EXPECT_EQ(list.Wait(20s), 0) << list.ErrorText();
    return list.Lines();
  }

  // The index of the port named exactly `name`.
  uint32_t PortNamed(const std::string& name) {
    for (const std::string& line : ListPorts()) {
      const size_t tab = line.find('\t');
      if (tab != std::string::npos && line.substr(tab + 1) == name) {
        return static_cast<uint32_t>(std::stoul(line.substr(0, tab)));
      }
    }
    ADD_FAILURE() << "no port " << name;
    return 9999;
  }

  // The port of the sender named `name` (midi_system.h: names differ by system).
  uint32_t SenderPort(const std::string& name) {
    const Lines ports = ListPorts();
    const std::optional<uint32_t> index = SenderPortIndex(ports, name);
    if (!index)
      ADD_FAILURE() << "not one port of " << name << " in " << ::testing::PrintToString(ports);
    return index.value_or(9999);
  }

  // The console on `port` (with `more` arguments), once its port is open; its standard input
  // takes "up" and "down".
  std::unique_ptr<ChildProcess> Monitor(uint32_t port, const std::vector<std::string>& more = {}) {
    std::vector<std::string> argv = {TESSALY_BINARY, "--console", "--port", std::to_string(port)};
    argv.insert(argv.end(), more.begin(), more.end());
    auto monitor = std::make_unique<ChildProcess>(OnSystem(argv), environment_);
    EXPECT_TRUE(monitor->WaitForLine(kStartLines.back(), 20s)) << monitor->ErrorText();
    return monitor;
  }

  // Ends the monitor as a user would and returns all it wrote.
  static Lines Stop(ChildProcess& monitor, int signal = SIGTERM) {
    EXPECT_TRUE(monitor.Running());
    monitor.Signal(signal);
    EXPECT_EQ(monitor.Wait(30s), 0) << monitor.ErrorText();
    return monitor.Lines();
  }

  // Sends `hex` from `sender` and waits until the monitor shows a line ending in `shown`.
  static void Play(ChildProcess& sender, ChildProcess& monitor, const std::string& hex,
                   const std::string& shown) {
    sender.WriteLine("send " + hex);
    sender.WriteLine("sync");
    EXPECT_TRUE(sender.WaitForLine("synced", 10s));
    EXPECT_TRUE(monitor.WaitForLine(EndsWith(shown), 10s))
        << "never shown: " << shown << " in " << ::testing::PrintToString(monitor.Lines());
  }

  // Steps the monitor with `command` ("up", "down") and waits for the release line that ends
  // the step.
  static void Step(ChildProcess& monitor, const std::string& command) {
    monitor.WriteLine(command);
    EXPECT_TRUE(monitor.WaitForLine(kReleaseLine, 20s)) << command << ": " << monitor.ErrorText();
  }

  // The server of the system killed during a run, and started again: the port being
  // monitored says the server went away, the monitor runs on, and once the server is back Up
  // and Down reach its ports. The server is `start`ed here (null: it did not start); two
  // senders play, named `a` and `b`. Returns the monitor's lines, untimed.
  struct ServerRestart {
    std::function<std::unique_ptr<ChildProcess>()> start;
    std::string a, b;
    Millis afterKill;        // how long the monitor reads on alone before it is checked
    bool onlyDemoWhileGone;  // --list-ports then lists the demo device alone (checked)
    Millis findAgain;        // how long the monitor may take to find the server back
  };
  Lines KillTheServerAndStartItAgain(const ServerRestart& restart) {
    auto server = restart.start();
    if (!server) {
      ADD_FAILURE() << "the server did not start";
      return {};
    }
    auto first = Sender(restart.a);
    auto second = Sender(restart.b);
    const Lines ports = {"0\tJACK: " + restart.a + ":out", "1\tJACK: " + restart.b + ":out",
                         "2\tTessaly MIDI In (JACK virtual port)", "3\tTessaly demo device"};
    const Lines listed = ListPorts();
    EXPECT_EQ(listed, ports);
    if (listed != ports) return {};
    auto monitor = Monitor(0);
    Play(*first, *monitor, "90 3C 64", "# 060 ,Vel 100 , ");

    server->Signal(SIGKILL);
    EXPECT_EQ(server->Wait(10s), -1);
    for (auto* sender : {first.get(), second.get()}) {
      sender->WriteLine("die");
      sender->Wait(10s);
    }
    monitor->ReadFor(restart.afterKill);
    EXPECT_TRUE(monitor->Running());
    if (restart.onlyDemoWhileGone) {
      EXPECT_EQ(ListPorts(), Lines{"0\tTessaly demo device"});
    }

    // The server comes back, and the devices with it, under the same names. Each index still
    // names the same device.
    server = restart.start();
    if (!server) {
      ADD_FAILURE() << "the server did not start again";
      return {};
    }
    first = Sender(restart.a);
    second = Sender(restart.b);
    if (restart.findAgain > 0ms) monitor->ReadFor(restart.findAgain);
    Step(*monitor, "up");
    Play(*second, *monitor, "90 3E 64", "# 062 ,Vel 100 , ");
    Step(*monitor, "down");
    Play(*first, *monitor, "90 40 64", "# 064 ,Vel 100 , ");
    const Lines all = Untimed(Stop(*monitor));
    const Lines expected = Joined({
        kStartLines,
        {"midi\t Time.T- 643C90 Chan 01 NOTE_ON        # 060 ,Vel 100 , "},
        // Up: the old port says the server went away; the next one opens on the new server.
        Shutdown(kServerGone),
        kStartLines,
        {kReleaseLine, "midi\t Time.T- 643E90 Chan 01 NOTE_ON        # 062 ,Vel 100 , "},
        Shutdown(kOk),
        kStartLines,
        {kReleaseLine, "midi\t Time.T- 644090 Chan 01 NOTE_ON        # 064 ,Vel 100 , "},
        Shutdown(kOk),
        {kReleaseLine},
    });
    EXPECT_EQ(WithoutStats(all), expected);

    Quit(*first);
    Quit(*second);
    server->Signal(SIGTERM);
    EXPECT_EQ(server->Wait(10s), 0);
    return all;
  }

  std::map<std::string, std::string> environment_;
};

}  // namespace tessaly::e2e
