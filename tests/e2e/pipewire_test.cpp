// End to end on PipeWire only (TESSALY_E2E_SYSTEM=pipewire): the monitor and our JACK sender
// under pw-jack, on PipeWire's own libjack. What differs from jackd: events as sent (that
// libjack rewrites a velocity-0 Note On unless told not to), and a daemon that dies and
// comes back.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/child_process.h"
#include "tests/e2e/midi_system.h"

namespace tessaly::e2e {
namespace {

using Lines = std::vector<std::string>;
using namespace std::chrono_literals;

const std::string kOk = "The specified command was carried out.";
const std::string kServerGone = "The MIDI server has gone away.";
const std::string kReleaseLine = "msg\tsysex Unprepare header function " + kOk;

Lines Status(const std::string& result) {
  return {"msg\tmidiInOpen            " + result, "msg\tmidiInStart           " + result,
          "msg\tmidiInPrepareHeader   " + result, "msg\tmidiInAddBuffer       " + result};
}
Lines Shutdown(const std::string& resetAndStop) {
  return {"msg\tmidiInReset           " + resetAndStop,
          "msg\tmidiInStop            " + resetAndStop, "msg\tmidiInClose           " + kOk};
}
const Lines kStartLines = Status(kOk);

std::function<bool(const std::string&)> EndsWith(const std::string& end) {
  return [end](const std::string& line) {
    return line.size() >= end.size() &&
           line.compare(line.size() - end.size(), end.size(), end) == 0;
  };
}

Lines Untimed(const Lines& lines) {
  static const std::regex kTime(R"(\t Time\.0\.\.\d\d:\d\d:\d\d\.\d\d\d- )");
  Lines out;
  for (const std::string& line : lines) {
    if (line.rfind("stats\t", 0) != 0)
      out.push_back(std::regex_replace(line, kTime, "\t Time.T- "));
  }
  return out;
}

Lines Stats(const Lines& lines) {
  Lines out;
  for (const std::string& line : lines) {
    if (line.rfind("stats\t", 0) == 0) out.push_back(line);
  }
  return out;
}

class PipewireEndToEndTest : public ::testing::Test {
 protected:
  std::unique_ptr<ChildProcess> Sender(const std::string& name) {
    auto sender = std::make_unique<ChildProcess>(OnSystem({JACK_SENDER_BINARY, "--name", name}),
                                                 environment_);
    EXPECT_TRUE(sender->WaitForLine("ready", 10s)) << sender->ErrorText();
    return sender;
  }
  Lines ListPorts() {
    ChildProcess list(OnSystem({TESSALY_BINARY, "--list-ports"}), environment_);
    EXPECT_EQ(list.Wait(20s), 0) << list.ErrorText();
    return list.Lines();
  }
  std::unique_ptr<ChildProcess> Monitor(uint32_t port) {
    auto monitor = std::make_unique<ChildProcess>(
        OnSystem({TESSALY_BINARY, "--console", "--port", std::to_string(port)}), environment_);
    EXPECT_TRUE(monitor->WaitForLine(kStartLines.back(), 20s)) << monitor->ErrorText();
    return monitor;
  }
  void Play(ChildProcess& sender, ChildProcess& monitor, const std::string& hex,
            const std::string& shown) {
    sender.WriteLine("send " + hex);
    sender.WriteLine("sync");
    EXPECT_TRUE(sender.WaitForLine("synced", 10s));
    EXPECT_TRUE(monitor.WaitForLine(EndsWith(shown), 10s)) << "never shown: " << shown;
  }
  Lines Stop(ChildProcess& monitor) {
    EXPECT_TRUE(monitor.Running());
    monitor.Signal(SIGTERM);
    EXPECT_EQ(monitor.Wait(20s), 0) << monitor.ErrorText();
    return monitor.Lines();
  }
  // A daemon of the test's own in a private runtime directory (mode 700), ready once
  // `pw-cli info 0` answers; null, with a failure, when it does not start.
  std::unique_ptr<ChildProcess> StartDaemon() {
    std::filesystem::create_directories(runtime_);
    chmod(runtime_.c_str(), 0700);
    environment_["XDG_RUNTIME_DIR"] = runtime_;
    auto daemon =
        std::make_unique<ChildProcess>(std::vector<std::string>{PIPEWIRE_BINARY}, environment_);
    for (int i = 0; i < 100; ++i) {
      ChildProcess info({PW_CLI_BINARY, "info", "0"}, environment_);
      if (info.Wait(5s) == 0) return daemon;
      std::this_thread::sleep_for(100ms);
    }
    ADD_FAILURE() << "pipewire did not start: " << daemon->ErrorText();
    daemon->Signal(SIGTERM);
    daemon->Wait(10s);
    return nullptr;
  }

  std::map<std::string, std::string> environment_;
  const std::string runtime_ =
      (std::filesystem::temp_directory_path() / ("tessaly-pw-" + std::to_string(getpid())))
          .string();
};

// The Note On of velocity 0 as the device sent it, and counted as a note-on, whatever
// else the user put in PIPEWIRE_PROPS; a user who asks for the rewrite gets it.
TEST_F(PipewireEndToEndTest, AVelocityZeroNoteOnIsShownAsSent) {
  const std::string asSent = "midi\t Time.T- 003C90 Chan 01 NOTE_ON        # 060 ,Vel 000 , ";
  const std::string rewritten = "midi\t Time.T- 403C80 Chan 01 NOTE_OFF       # 060 ,Vel 064 ,";
  struct Case {
    const char* props;  // PIPEWIRE_PROPS as the user set it (null: unset)
    std::string shown;
    const char* countedRow;
  };
  const Case cases[] = {
      {nullptr, asSent, "stats\tCHN_NOTE_ON          0001 "},
      {"{ node.latency = 1024/48000 }", asSent, "stats\tCHN_NOTE_ON          0001 "},
      {"node.latency = 1024/48000", asSent, "stats\tCHN_NOTE_ON          0001 "},
      {"{ jack.fix-midi-events = true }", rewritten, "stats\tCHN_NOTE_OFF        0001 "},
  };
  int run = 0;
  for (const Case& c : cases) {
    const std::string name = "e2e-velocity-" + std::to_string(++run);
    SCOPED_TRACE(c.props != nullptr ? c.props : "(unset)");
    if (c.props != nullptr) {
      environment_["PIPEWIRE_PROPS"] = c.props;
    } else {
      environment_.erase("PIPEWIRE_PROPS");
    }
    auto sender = Sender(name);
    const std::optional<uint32_t> port = SenderPortIndex(ListPorts(), name);
    ASSERT_TRUE(port);
    auto monitor = Monitor(*port);
    Play(*sender, *monitor, "90 3C 00", c.shown.substr(c.shown.size() - 10));
    const Lines all = Stop(*monitor);
    Lines midi;
    for (const std::string& line : Untimed(all)) {
      if (line.rfind("midi\t", 0) == 0) midi.push_back(line);
    }
    EXPECT_EQ(midi, Lines{c.shown});
    const Lines stats = Stats(all);
    bool counted = false;
    for (const std::string& row : stats) counted = counted || row.rfind(c.countedRow, 0) == 0;
    EXPECT_TRUE(counted) << ::testing::PrintToString(stats);
    sender->WriteLine("quit");
    EXPECT_EQ(sender->Wait(10s), 0);
  }
}

// The daemon killed during a run: Reset and Stop say the server went away, the monitor runs
// on, --list-ports has only the demo device; started again, Up and Down reach its ports.
TEST_F(PipewireEndToEndTest, TheDaemonIsKilledAndStartedAgain) {
  auto daemon = StartDaemon();
  ASSERT_TRUE(daemon);
  auto first = Sender("e2e-pw-a");
  auto second = Sender("e2e-pw-b");
  ASSERT_EQ(ListPorts(),
            (Lines{"0\tJACK: e2e-pw-a:out", "1\tJACK: e2e-pw-b:out",
                   "2\tTessaly MIDI In (JACK virtual port)", "3\tTessaly demo device"}));
  auto monitor = Monitor(0);
  Play(*first, *monitor, "90 3C 64", "# 060 ,Vel 100 , ");

  daemon->Signal(SIGKILL);
  EXPECT_EQ(daemon->Wait(10s), -1);
  for (auto* sender : {first.get(), second.get()}) {
    sender->WriteLine("die");
    sender->Wait(10s);
  }
  monitor->ReadFor(1000ms);
  EXPECT_TRUE(monitor->Running());
  EXPECT_EQ(ListPorts(), Lines{"0\tTessaly demo device"});

  daemon = StartDaemon();
  ASSERT_TRUE(daemon);
  first = Sender("e2e-pw-a");
  second = Sender("e2e-pw-b");
  monitor->ReadFor(1500ms);  // the monitor finds the server again within its probe period
  monitor->WriteLine("up");
  EXPECT_TRUE(monitor->WaitForLine(kReleaseLine, 20s));
  Play(*second, *monitor, "90 3E 64", "# 062 ,Vel 100 , ");
  monitor->WriteLine("down");
  EXPECT_TRUE(monitor->WaitForLine(kReleaseLine, 20s));
  Play(*first, *monitor, "90 40 64", "# 064 ,Vel 100 , ");
  const Lines all = Untimed(Stop(*monitor));
  Lines expected = kStartLines;
  for (const Lines& part :
       {Lines{"midi\t Time.T- 643C90 Chan 01 NOTE_ON        # 060 ,Vel 100 , "},
        Shutdown(kServerGone), kStartLines,
        Lines{kReleaseLine, "midi\t Time.T- 643E90 Chan 01 NOTE_ON        # 062 ,Vel 100 , "},
        Shutdown(kOk), kStartLines,
        Lines{kReleaseLine, "midi\t Time.T- 644090 Chan 01 NOTE_ON        # 064 ,Vel 100 , "},
        Shutdown(kOk), Lines{kReleaseLine}}) {
    expected.insert(expected.end(), part.begin(), part.end());
  }
  EXPECT_EQ(all, expected);
  for (auto* sender : {first.get(), second.get()}) {
    sender->WriteLine("quit");
    EXPECT_EQ(sender->Wait(10s), 0);
  }
  daemon->Signal(SIGTERM);
  EXPECT_EQ(daemon->Wait(10s), 0);
  std::error_code error;
  std::filesystem::remove_all(runtime_, error);
}

}  // namespace
}  // namespace tessaly::e2e
