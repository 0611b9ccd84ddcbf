// Faults injected end to end: the program (console front end) against a real MIDI system
// (midi_system.h; the server's death is JACK's alone) and our sender, while the server dies and
// comes back, a port vanishes before it is opened, and a sender floods the monitor past every
// queue. Each run must end with the monitor running, the loss said as a line or in the statistics,
// and a clean exit (code 0).
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <optional>
#include <regex>
#include <string>

#include "tests/e2e/child_process.h"
#include "tests/e2e/console_lines.h"
#include "tests/e2e/midi_system.h"
#include "tests/e2e/monitor_fixture.h"
#include "tests/e2e/start_jack_server.h"

namespace tessaly::e2e {
namespace {

class FaultInjectionTest : public MonitorTest {
 protected:
  // The first line of --list-ports ("" when there is none).
  std::string FirstPort() {
    const Lines ports = ListPorts();
    return ports.empty() ? "" : ports.front();
  }
};

TEST_F(FaultInjectionTest, TheServerDiesAndComesBackThenUpAndDownReachAPortAgain) {
  // A server of this test's own, since it is killed. The monitor's port list is the one from
  // its start: it steps to the new server's ports at once.
  const std::string name = OwnServerName("back");
  environment_["JACK_DEFAULT_SERVER"] = name;
  const Lines all =
      KillTheServerAndStartItAgain({[&] { return StartJackServer(name, environment_); },
                                    "e2e-back-a", "e2e-back-b", 500ms, false, 0ms});
  EXPECT_EQ(StatsCell(all, "CHN_NOTE_ON", 0), 3);
  RemoveServerLeftovers(name);
}

TEST_F(FaultInjectionTest, APortThatVanishedSinceTheStartIsGoneFromTheList) {
  auto first = Sender("e2e-vanish-a");
  auto second = Sender("e2e-vanish-b");
  const Lines ports = ListPorts();
  if (SystemUnderTest() == MidiSystem::kJack) {
    ASSERT_EQ(ports, (Lines{"0\tJACK: e2e-vanish-a:out", "1\tJACK: e2e-vanish-b:out",
                            "2\tTessaly MIDI In (JACK virtual port)", "3\tTessaly demo device"}));
  }
  const std::optional<uint32_t> a = SenderPortIndex(ports, "e2e-vanish-a");
  const std::optional<uint32_t> b = SenderPortIndex(ports, "e2e-vanish-b");
  ASSERT_TRUE(a && b) << ::testing::PrintToString(ports);
  ASSERT_EQ(*b, *a + 1);  // "up" from the first reaches the second
  auto monitor = Monitor(*a);
  Quit(*second);
  // The monitor hears the port go (JACK's port registration callback): "up" from the first
  // reaches the port after it in the new list, our virtual port, and the monitor goes on.
  monitor->ReadFor(500ms);
  Step(*monitor, "up");
  monitor->WriteLine("down");
  EXPECT_TRUE(monitor->WaitForLine(kStartLines.back(), 20s));
  Play(*first, *monitor, "90 3C 64", "# 060 ,Vel 100 , ");
  const Lines all = Untimed(Stop(*monitor));
  const Lines expected = Joined({
      kStartLines,
      Shutdown(kOk, kOk),
      kStartLines,
      {kReleaseLine},
      Shutdown(kOk, kOk),
      kStartLines,
      {kReleaseLine, "midi\t Time.T- 643C90 Chan 01 NOTE_ON        # 060 ,Vel 100 , "},
      Shutdown(kOk, kOk),
      {kReleaseLine},
  });
  EXPECT_EQ(WithoutStats(all), expected);
  Quit(*first);
}

TEST_F(FaultInjectionTest, AFloodPastEveryQueueIsCountedAndTheMonitorGoesOn) {
  auto sender = Sender("e2e-flood");
  ASSERT_EQ(FirstPort(), "0\tJACK: e2e-flood:out");
  auto monitor = Monitor(0);
  // As fast as the sender can: short messages, then sysex messages of 1 000 text bytes (each
  // 16 receive buffers), then both mixed.
  const std::string text(1000, 'A');
  std::string sysex = "F0 09 11";
  for (size_t i = 0; i < text.size(); ++i) sysex += " 41";
  sysex += " F7";
  const Lines floods = {"flood 20000 10000000 90 3C 64", "flood 1000 10000000 " + sysex,
                        "flood 10000 10000000 90 3C 64 / 5 " + sysex};
  long sent = 0;
  for (const std::string& flood : floods) {
    sender->WriteLine(flood);
    const auto done =
        sender->WaitForLine([](const std::string& l) { return l.rfind("sent ", 0) == 0; }, 60s);
    ASSERT_TRUE(done) << sender->ErrorText();
    sent += std::stol(done->substr(5));
  }
  monitor->ReadFor(1000ms);
  EXPECT_TRUE(monitor->Running());
  // It still shows what comes after.
  Play(*sender, *monitor, "90 3E 64", "# 062 ,Vel 100 , ");
  const Lines all = Untimed(Stop(*monitor));

  long shownShort = 0;
  long shownSysex = 0;
  long overrunLost = 0;
  long sysexOverflows = 0;
  static const std::regex kOverrun(R"(^msg\tEVENT RING OVERRUN (\d+) events lost$)");
  for (const std::string& line : all) {
    std::smatch m;
    if (line == "midi\t Time.T- 643C90 Chan 01 NOTE_ON        # 060 ,Vel 100 , ") {
      ++shownShort;
    } else if (line == "sysex\tSysexQ overflow shutting down") {
      ++sysexOverflows;
    } else if (line.rfind("sysex\t", 0) == 0) {
      // Nothing torn or garbled: a sysex line is the whole message or nothing.
      EXPECT_EQ(line, "sysex\t" + text);
      ++shownSysex;
    } else if (std::regex_match(line, m, kOverrun)) {
      overrunLost += std::stol(m[1]);
    }
  }
  // The loss is said: the ring's count in the statistics is the sum of its lines.
  EXPECT_EQ(StatsCell(all, "SYSEX DATA", 4), overrunLost);
  EXPECT_GT(overrunLost, 0) << "the flood did not go past the ring";
  EXPECT_EQ(StatsCell(all, "CHN_NOTE_ON", 0), shownShort + 1);
  // The ring holds every callback call: each 1 003-byte sysex message comes in 16 receive
  // buffers. Nothing is counted that was not sent.
  EXPECT_LE(shownShort + overrunLost, 20000 + 8000 + (1000 + 2000) * 16);
  EXPECT_LE(shownSysex, 1000 + 2000);
  EXPECT_EQ(sent, 20000 + 1000 + 10000);
  std::printf(
      "flood: sent %ld, short shown %ld, lost in the ring %ld; sysex shown %ld, SysexQ "
      "overflows %ld\n",
      sent, shownShort, overrunLost, shownSysex, sysexOverflows);
  Quit(*sender);
}

TEST_F(FaultInjectionTest, EventsJackCannotHandOverAreCountedNeverMadeUp) {
  // In the monitor, jack_midi_event_get fails past the second event of a cycle, as when a
  // cycle's buffer is cleared under a late reader. Shown must be only events that were sent,
  // in order, none twice (not the last good one again in place of the lost), and shown plus
  // what the service counted dropped must be all that was sent.
  auto sender = Sender("e2e-late");
  ASSERT_EQ(FirstPort(), "0\tJACK: e2e-late:out");
  std::map<std::string, std::string> shimmed = environment_;
  shimmed["LD_PRELOAD"] = EVENT_GET_SHIM;
  shimmed["TESSALY_SHIM_READABLE_EVENTS"] = "2";
  ChildProcess monitor({TESSALY_BINARY, "--console", "--report", "--port", "0"}, shimmed);
  ASSERT_TRUE(monitor.WaitForLine(kStartLines.back(), 20s)) << monitor.ErrorText();

  // Distinct note-ons: key i % 128, velocity i / 128 + 1; ten batches, each written at once
  // (so that a cycle carries more than two) and carried by JACK before the next.
  constexpr int kSent = 600;
  for (int i = 0; i < kSent; ++i) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "90 %02X %02X", i % 128, i / 128 + 1);
    sender->WriteLine(std::string("send ") + hex);
    if ((i + 1) % (kSent / 10) == 0) {
      sender->WriteLine("sync");
      ASSERT_TRUE(sender->WaitForLine("synced", 20s));
    }
  }
  monitor.ReadFor(500ms);
  const Lines all = Untimed(Stop(monitor));

  static const std::regex kNoteOn(R"(^midi\t.* NOTE_ON +# (\d\d\d) ,Vel (\d+) , $)");
  int next = 0;  // the sent index a shown event may be no earlier than
  long shown = 0;
  for (const std::string& line : all) {
    std::smatch m;
    if (!std::regex_match(line, m, kNoteOn)) continue;
    const int index = (std::stoi(m[2]) - 1) * 128 + std::stoi(m[1]);
    EXPECT_GE(index, next) << "shown again or out of order: " << line;
    next = index + 1;
    ++shown;
  }
  static const std::regex kService(R"(^service\tmessages dropped (\d+) )");
  long dropped = -1;
  for (const std::string& line : all) {
    std::smatch m;
    if (std::regex_search(line, m, kService)) dropped = std::stol(m[1]);
  }
  ASSERT_GE(dropped, 0) << "no service report";
  EXPECT_GT(dropped, 0) << "no cycle carried more than two events";
  EXPECT_EQ(shown + dropped, kSent);
  std::printf("late reads: sent %d, shown %ld, counted dropped %ld\n", kSent, shown, dropped);
  Quit(*sender);
}

}  // namespace
}  // namespace tessaly::e2e
