// End to end on PipeWire only (TESSALY_E2E_SYSTEM=pipewire): the monitor and our JACK sender
// under pw-jack, on PipeWire's own libjack. What differs from jackd: events as sent (that
// libjack rewrites a velocity-0 Note On unless told not to), and a daemon that dies and
// comes back.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/child_process.h"
#include "tests/e2e/console_lines.h"
#include "tests/e2e/midi_system.h"
#include "tests/e2e/monitor_fixture.h"

namespace tessaly::e2e {
namespace {

class PipewireEndToEndTest : public MonitorTest {
 protected:
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
    EXPECT_EQ(WithTag(Untimed(all), "midi"), Lines{c.shown});
    const Lines stats = WithTag(all, "stats");
    bool counted = false;
    for (const std::string& row : stats) counted = counted || row.rfind(c.countedRow, 0) == 0;
    EXPECT_TRUE(counted) << ::testing::PrintToString(stats);
    Quit(*sender);
  }
}

// The daemon killed during a run: Reset and Stop say the server went away, the monitor runs
// on, --list-ports has only the demo device; started again, Up and Down reach its ports.
TEST_F(PipewireEndToEndTest, TheDaemonIsKilledAndStartedAgain) {
  // The monitor finds the server again within its probe period.
  KillTheServerAndStartItAgain(
      {[&] { return StartDaemon(); }, "e2e-pw-a", "e2e-pw-b", 1000ms, true, 1500ms});
  std::error_code error;
  std::filesystem::remove_all(runtime_, error);
}

}  // namespace
}  // namespace tessaly::e2e
