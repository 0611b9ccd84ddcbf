#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "capture/fake_midi_input_service.h"
#include "capture/midi_constants.h"
#include "display/monitor_core.h"
#include "tests/support/expected_status_lines.h"

namespace tessaly {
namespace {

using Call = FakeMidiInputService::Call;
using Lines = std::vector<std::string>;

using namespace testing;  // the expected status lines
const std::string kReleaseOk =
    "sysex Unprepare header function The specified command was carried out.";
const Lines kHelp = {
    "this software is a sophiticated MIDI input monitor",
    "it automaticly opens the first MIDI in port it sees",
    "the input port can be changed",
    "the stream displayed in the can be qualified by clicking the filter buttons up top",
    "good luck",
};

Lines Join(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class CountingView : public MonitorView {
 public:
  void Refresh() override { ++refreshes; }
  int refreshes = 0;
};

// A fake of three ports and a monitor over it, made once the fake is scripted. The fixture is
// one; a table's cases each make their own, so that each starts afresh.
struct Rig {
  Rig() { service.SetPorts({"Port A", "Port B", "Port C"}); }

  MonitorCore& Make() {
    core = std::make_unique<MonitorCore>(service);
    core->SetView(&view);
    return *core;
  }

  FakeMidiInputService service;
  CountingView view;
  std::unique_ptr<MonitorCore> core;
};

class MonitorStartTest : public ::testing::Test, public Rig {
 protected:
  static Lines All(const OutputList& list) {
    Lines lines;
    for (size_t i = 0; i < list.Count(); ++i) lines.emplace_back(list.Line(i));
    return lines;
  }
  // The lines appended since `from`.
  static Lines Since(const OutputList& list, size_t from) {
    Lines lines;
    for (size_t i = from; i < list.Count(); ++i) lines.emplace_back(list.Line(i));
    return lines;
  }
};

TEST_F(MonitorStartTest, StartOnFreePortZeroShowsFourStatusLinesThenHelp) {
  MonitorCore& monitor = Make();
  monitor.Start();
  EXPECT_EQ(All(monitor.messageBoxList), Join({kOpenOk, kStartOk, kPrepareOk, kAddOk}, kHelp));
  EXPECT_EQ(monitor.ports().openStatus(), 1);
  EXPECT_EQ(monitor.ports().portName(), "Port A");
  EXPECT_EQ(monitor.ports().portCount(), 3u);
  EXPECT_EQ(view.refreshes, 5);  // one per port operation, one at the end
  EXPECT_TRUE(service.BufferQueued());
  monitor.DrainAndDisplay();  // the open event shows nothing
  EXPECT_EQ(monitor.messageBoxList.Count(), 9u);
}

TEST_F(MonitorStartTest, FailedOpenAtStartThenUpOpensNextPort) {
  service.FailCall(Call::kOpen, kAllocated);
  MonitorCore& monitor = Make();
  monitor.Start();
  EXPECT_EQ(All(monitor.messageBoxList),
            Join(
                {
                    "midiInOpen            The device is already in use.",
                    "midiInStart           The device handle is invalid.",
                    "midiInPrepareHeader   The device handle is invalid.",
                    "midiInAddBuffer       The device handle is invalid.",
                },
                kHelp));
  EXPECT_EQ(monitor.ports().openStatus(), 0);

  // Nothing is open: the first close fails, so a reset and a second close follow, and the
  // failed open does not keep the next port from opening.
  monitor.ports().NextPort();
  monitor.DrainAndDisplay();
  EXPECT_EQ(Since(monitor.messageBoxList, 9),
            (Lines{
                "midiInReset           The device handle is invalid.",
                "midiInStop            The device handle is invalid.",
                "midiInReset           The device handle is invalid.",
                "midiInClose           The device handle is invalid.",
                kOpenOk,
                kStartOk,
                kPrepareOk,
                kAddOk,
            }));
  EXPECT_EQ(monitor.ports().portIndex(), 1u);
  EXPECT_EQ(monitor.ports().portName(), "Port B");
  EXPECT_EQ(monitor.ports().openStatus(), 1);
  EXPECT_EQ(service.OpenPortIndex(), 1u);
  EXPECT_TRUE(service.BufferQueued());
  EXPECT_EQ(monitor.capture().stopRequest.load(), 0u);
}

TEST_F(MonitorStartTest, PortChangeAndShutdownShowReleaseAtNextDrain) {
  struct Case {
    const char* name;
    std::function<void(MonitorCore&)> act;
    Lines lines;
    int32_t openStatus;
  };
  const Case cases[] = {
      {"Up",
       [](MonitorCore& m) { m.ports().NextPort(); },
       {kResetOk, kStopOk, kCloseOk, kOpenOk, kStartOk, kPrepareOk, kAddOk},
       1},
      {"Shutdown", [](MonitorCore& m) { m.Shutdown(); }, {kResetOk, kStopOk, kCloseOk}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    MonitorCore& monitor = rig.Make();
    monitor.Start();
    monitor.DrainAndDisplay();
    c.act(monitor);
    EXPECT_EQ(Since(monitor.messageBoxList, 9), c.lines);
    monitor.DrainAndDisplay();
    EXPECT_EQ(Since(monitor.messageBoxList, 9), Join(c.lines, {kReleaseOk}));
    EXPECT_EQ(monitor.ports().openStatus(), c.openStatus);
    EXPECT_EQ(monitor.capture().stopRequest.load(), 0u);
  }
}

TEST_F(MonitorStartTest, SysexKeepsArrivingAfterPortChangeMadeWhileReleasePending) {
  struct Case {
    const char* name;
    // Scripted before the port change; leaves the release of the old buffer pending.
    std::function<void(FakeMidiInputService&)> script;
    bool failAddAtStart;
    Lines lines;
  };
  const Case cases[] = {
      {"release failed in the callback",
       [](FakeMidiInputService& f) { f.FailCall(Call::kUnprepareHeader, kHandleBusy); },
       false,
       {kResetOk, kStopOk, kCloseOk, kOpenOk, kStartOk, kPrepareOk, kAddOk,
        "sysex Unprepare header function The handle is in use by another thread."}},
      {"no buffer queued at the reset",
       [](FakeMidiInputService&) {},
       true,
       {kResetOk, kStopOk, kCloseOk, kOpenOk, kStartOk, kPrepareOk, kAddOk}},
  };
  const std::vector<std::vector<uint8_t>> messages = {
      {0xF0, 0x09, 0x01, 0xF7},
      {0xF0, 0x09, 0x02, 0x01, 0xF7},
      {0xF0, 0x09, 0x03, 0xF7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    FakeMidiInputService& fake = rig.service;
    if (c.failAddAtStart) fake.FailCall(Call::kAddBuffer, kNoMemory);
    MonitorCore& monitor = rig.Make();
    CaptureState& capture = monitor.capture();
    monitor.Start();
    monitor.DrainAndDisplay();  // the first drain also clears the counters
    c.script(fake);
    monitor.ports().NextPort();
    monitor.DrainAndDisplay();
    EXPECT_EQ(Since(monitor.messageBoxList, 9), c.lines);
    EXPECT_EQ(capture.stopRequest.load(), 0u);

    const uint64_t bytesBefore = capture.sysexQ.writeIndex.load();
    const uint64_t releasedBefore = capture.statusCounters.Get(kCountBuffersReleased);
    for (const auto& message : messages) EXPECT_EQ(fake.SendSysex(message, 500), 0u);
    EXPECT_TRUE(fake.BufferQueued());
    EXPECT_EQ(capture.sysexQ.writeIndex.load() - bytesBefore, 13u);
    EXPECT_EQ(capture.statusCounters.Get(kCountBuffersReceived), 3u);
    EXPECT_EQ(capture.statusCounters.Get(kCountBuffersReleased), releasedBefore);
    monitor.DrainAndDisplay();
    EXPECT_EQ(Since(monitor.messageBoxList, 9), c.lines);  // no further release
  }
}

TEST_F(MonitorStartTest, PortChangeRestartsTimeBase) {
  MonitorCore& monitor = Make();
  monitor.Start();
  monitor.DrainAndDisplay();  // takes the open event, which would become time zero otherwise
  const uint32_t noteOn = PackShortMessage(kNoteOn, 60, 100);
  monitor.ClearMidiMessageWindow();  // the next event becomes time zero
  service.DeliverShort(noteOn, 5000);
  service.DeliverShort(noteOn, 5250);
  monitor.DrainAndDisplay();
  EXPECT_EQ(monitor.eventLines().timeBase(), 5000u);

  monitor.ports().NextPort();  // the new port's clock counts from 0
  service.DeliverShort(noteOn, 10);
  monitor.DrainAndDisplay();
  EXPECT_EQ(All(monitor.basicMessageList),
            (Lines{
                " Time.0..00:00:00.000- 643C90 Chan 01 NOTE_ON        # 060 ,Vel 100 , ",
                " Time.0..00:00:00.250- 643C90 Chan 01 NOTE_ON        # 060 ,Vel 100 , ",
                " Time.0..00:00:00.010- 643C90 Chan 01 NOTE_ON        # 060 ,Vel 100 , ",
            }));
}

}  // namespace
}  // namespace tessaly
