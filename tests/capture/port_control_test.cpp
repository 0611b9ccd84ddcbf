#include "capture/port_control.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/capture_state.h"
#include "capture/fake_midi_input_service.h"
#include "capture/midi_constants.h"
#include "tests/support/expected_status_lines.h"

namespace tessaly {
namespace {

using Call = FakeMidiInputService::Call;
using Lines = std::vector<std::string>;

using namespace testing;  // the expected status lines
const std::string kRefused = "midiInOpen called when already open THIS IS BAD but protected now ";

class RecordingHost : public PortHost {
 public:
  void AppendStatusLine(std::string_view line) override { lines.emplace_back(line); }
  void Refresh() override { ++refreshes; }
  void InputStarted() override { ++inputStarts; }

  void Forget() {
    lines.clear();
    refreshes = 0;
    inputStarts = 0;
  }

  Lines lines;
  int refreshes = 0;
  int inputStarts = 0;
};

class PortControlTest : public ::testing::Test {
 protected:
  // Builds port control over `ports` (its construction queries them), then forgets what the
  // construction logged.
  PortControl& Make(std::vector<std::string> ports) {
    service.SetPorts(std::move(ports));
    control = std::make_unique<PortControl>(state, host);
    service.ClearCallLog();
    return *control;
  }
  void Forget() {
    host.Forget();
    service.ClearCallLog();
  }
  uint64_t Count(uint8_t entry) const { return state.statusCounters.Get(entry); }
  uint32_t StopRequest() const { return state.stopRequest.load(); }

  FakeMidiInputService service;
  CaptureState state{service};
  RecordingHost host;
  std::unique_ptr<PortControl> control;
};

TEST_F(PortControlTest, ConstructionSetsPortFields) {
  struct Case {
    const char* name;
    std::vector<std::string> ports;
    bool failQuery;
    std::string portName;
    uint32_t portCount;
    Lines calls;
  };
  const Case cases[] = {
      {"three ports", {"Port A", "Port B", "Port C"}, false, "Port A", 3, {"GetDevCaps 0"}},
      {"query fails", {"Port A", "Port B"}, true, "", 2, {"GetDevCaps 0 -> 6"}},
      {"no port", {}, false, "", 0, {"GetDevCaps 0 -> 2"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeMidiInputService fake;
    fake.SetPorts(c.ports);
    if (c.failQuery) fake.FailCall(Call::kGetDevCaps, kNoDriver);
    CaptureState capture(fake);
    RecordingHost view;
    PortControl ports(capture, view);
    EXPECT_EQ(ports.portIndex(), 0u);
    EXPECT_EQ(ports.portName(), c.portName);
    EXPECT_EQ(ports.portCount(), c.portCount);
    EXPECT_EQ(ports.openStatus(), 0);
    EXPECT_FALSE(ports.portOpenMark());
    EXPECT_EQ(fake.CallLog(), c.calls);
    EXPECT_TRUE(view.lines.empty());
  }
}

TEST_F(PortControlTest, ReopenOnFreePortZeroQueuesTheBuffer) {
  PortControl& ports = Make({"Port A", "Port B", "Port C"});
  ports.ReopenPort();
  EXPECT_EQ(host.lines, (Lines{kOpenOk, kStartOk, kPrepareOk, kAddOk}));
  EXPECT_EQ(ports.openStatus(), 1);
  EXPECT_TRUE(ports.portOpenMark());
  EXPECT_EQ(ports.inputHandle(), service.OpenHandle());
  EXPECT_EQ(host.refreshes, 4);
  EXPECT_EQ(host.inputStarts, 1);
  EXPECT_EQ(service.CallLog(), (Lines{"Open 0", "Start", "PrepareHeader", "AddBuffer"}));
  EXPECT_TRUE(service.Started());
  EXPECT_TRUE(service.BufferQueued());
  EXPECT_EQ(state.receiveHeader.data.load(), state.receiveBuffer);
  EXPECT_EQ(state.receiveHeader.bufferLength.load(), 64u);
  EXPECT_EQ(state.receiveHeader.user.load(), 0u);
}

TEST_F(PortControlTest, OpenWhileOpenIsRefusedWithoutCallOrRefresh) {
  PortControl& ports = Make({"Port A"});
  ports.ReopenPort();
  const MidiInHandle handle = ports.inputHandle();
  Forget();
  ports.OpenPort();
  EXPECT_EQ(host.lines, (Lines{kRefused}));
  EXPECT_EQ(host.refreshes, 0);
  EXPECT_TRUE(service.CallLog().empty());
  EXPECT_EQ(ports.openStatus(), 1);
  EXPECT_EQ(ports.inputHandle(), handle);
  EXPECT_TRUE(service.IsOpen());
}

TEST_F(PortControlTest, FailedOpenLeavesNextOpenFree) {
  PortControl& ports = Make({"Port A"});
  service.FailCall(Call::kOpen, kAllocated);
  ports.OpenPort();
  EXPECT_EQ(host.lines, (Lines{"midiInOpen            The device is already in use."}));
  EXPECT_EQ(ports.openStatus(), 0);
  EXPECT_FALSE(ports.portOpenMark());
  EXPECT_EQ(host.refreshes, 1);
  ports.OpenPort();
  EXPECT_EQ(host.lines.back(), kOpenOk);
  EXPECT_EQ(ports.openStatus(), 1);
  EXPECT_TRUE(service.IsOpen());
}

TEST_F(PortControlTest, NextPortFromFirstOfThreeShutsDownThenOpensNext) {
  PortControl& ports = Make({"Port A", "Port B", "Port C"});
  ports.ReopenPort();
  Forget();
  ports.NextPort();
  EXPECT_EQ(host.lines,
            (Lines{kResetOk, kStopOk, kCloseOk, kOpenOk, kStartOk, kPrepareOk, kAddOk}));
  EXPECT_EQ(ports.portIndex(), 1u);
  EXPECT_EQ(ports.portName(), "Port B");
  EXPECT_EQ(ports.openStatus(), 1);
  EXPECT_EQ(host.refreshes, 8);
  EXPECT_EQ(host.inputStarts, 1);
  EXPECT_EQ(service.CallLog(), (Lines{"Reset", "UnprepareHeader", "Stop", "Close", "GetDevCaps 1",
                                      "Open 1", "Start", "PrepareHeader", "AddBuffer"}));
  // The old buffer was released by the callback during the reset.
  EXPECT_EQ(Count(kCountBuffersReleased), 1u);
  EXPECT_TRUE(service.BufferQueued());
}

// A port that comes or goes while the monitor runs: the count follows at the next tick, the
// open port keeps its name at its new place, and Up/Down step through the ports as they are.
TEST_F(PortControlTest, PortChangesAreCountedAndSteppedThrough) {
  PortControl& ports = Make({"Port A", "Port B", "Port C"});
  ports.ReopenPort();
  ports.NextPort();
  Forget();
  ports.NoticePortChanges();  // nothing announced: nothing asked, nothing redrawn
  service.SetPorts({"Device", "Port A", "Port B", "Port C", "Port D"});
  ports.NoticePortChanges();
  EXPECT_TRUE(service.CallLog().empty());
  EXPECT_EQ(host.refreshes, 0);
  EXPECT_EQ(ports.portCount(), 3u);

  struct Step {
    std::vector<std::string> ports;  // after the announcement
    bool next;                       // then Up (true) or Down
    uint32_t countAfterChange, indexAfterChange, indexAfterStep;
    std::string nameAfterStep;
  };
  const Step steps[] = {
      {{"Device", "Port A", "Port B", "Port C", "Port D"}, true, 5, 2, 3, "Port C"},
      // The open port goes: its place is kept, Down steps to what is there now.
      {{"Port A", "Port B", "Port D"}, false, 3, 3, 2, "Port D"},
      // It comes back before the open port: that moves on, Up stays at the last, Down reaches it.
      {{"Port A", "Port B", "Port C", "Port D"}, true, 4, 3, 3, "Port D"},
      {{"Port A", "Port B", "Port C", "Port D"}, false, 4, 3, 2, "Port C"},
  };
  for (const Step& step : steps) {
    service.SetPorts(step.ports);
    service.AnnouncePortChange();
    host.Forget();
    ports.NoticePortChanges();
    EXPECT_EQ(host.refreshes, 1);
    EXPECT_EQ(ports.portCount(), step.countAfterChange) << step.nameAfterStep;
    EXPECT_EQ(ports.portIndex(), step.indexAfterChange) << step.nameAfterStep;
    if (step.next) {
      ports.NextPort();
    } else {
      ports.PreviousPort();
    }
    EXPECT_EQ(ports.portIndex(), step.indexAfterStep) << step.nameAfterStep;
    EXPECT_EQ(ports.portName(), step.nameAfterStep);
    EXPECT_EQ(ports.openStatus(), 1) << step.nameAfterStep;
  }
}

TEST_F(PortControlTest, StepsPastTheEndsDoNothing) {
  struct Case {
    const char* name;
    std::vector<std::string> ports;
    int upsFirst;
    bool up;
  };
  const Case cases[] = {
      {"Up on the last of three", {"Port A", "Port B", "Port C"}, 2, true},
      {"Down on the first of three", {"Port A", "Port B", "Port C"}, 0, false},
      {"Up with one port", {"Port A"}, 0, true},
      {"Down with one port", {"Port A"}, 0, false},
      {"Up with no port", {}, 0, true},
      {"Down with no port", {}, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeMidiInputService fake;
    fake.SetPorts(c.ports);
    CaptureState capture(fake);
    RecordingHost view;
    PortControl ports(capture, view);
    ports.ReopenPort();
    for (int i = 0; i < c.upsFirst; ++i) ports.NextPort();
    const uint32_t index = ports.portIndex();
    const std::string name = ports.portName();
    const int32_t openStatus = ports.openStatus();
    const bool open = fake.IsOpen();
    view.Forget();
    fake.ClearCallLog();
    for (int i = 0; i < 3; ++i) c.up ? ports.NextPort() : ports.PreviousPort();
    EXPECT_TRUE(view.lines.empty());
    EXPECT_EQ(view.refreshes, 0);
    EXPECT_TRUE(fake.CallLog().empty());
    EXPECT_EQ(ports.portIndex(), index);
    EXPECT_EQ(ports.portName(), name);
    EXPECT_EQ(ports.openStatus(), openStatus);
    EXPECT_EQ(fake.IsOpen(), open);
  }
}

TEST_F(PortControlTest, CloseRetriesAfterResetAndMarkFollowsLastClose) {
  struct Case {
    const char* name;
    bool openFirst;
    int scriptedCloseFailures;
    Lines lines;
    Lines calls;
    bool stillOpen;
    std::string laterOpenLine;
  };
  const Case cases[] = {
      {"buffer still queued",
       true,
       0,
       {kResetOk, kCloseOk},
       {"Close -> 65", "Reset", "UnprepareHeader", "Close"},
       false,
       kOpenOk},
      {"second close fails too",
       true,
       2,
       {kResetOk, "midiInClose           The handle is in use by another thread."},
       {"Close -> 12", "Reset", "UnprepareHeader", "Close -> 12"},
       true,
       kRefused},
      {"nothing open",
       false,
       0,
       {"midiInReset           The device handle is invalid.",
        "midiInClose           The device handle is invalid."},
       {"Close -> 5", "Reset -> 5", "Close -> 5"},
       false,
       kOpenOk},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeMidiInputService fake;
    fake.SetPorts({"Port A"});
    CaptureState capture(fake);
    RecordingHost view;
    PortControl ports(capture, view);
    if (c.openFirst) ports.ReopenPort();
    if (c.scriptedCloseFailures > 0) {
      fake.FailCall(Call::kClose, kHandleBusy, c.scriptedCloseFailures);
    }
    view.Forget();
    fake.ClearCallLog();
    ports.ClosePort();
    EXPECT_EQ(view.lines, c.lines);
    EXPECT_EQ(fake.CallLog(), c.calls);
    EXPECT_EQ(ports.openStatus(), 0);
    EXPECT_EQ(view.refreshes, 2);  // the reset's and the close's
    EXPECT_EQ(ports.portOpenMark(), c.stillOpen);
    EXPECT_EQ(fake.IsOpen(), c.stillOpen);
    ports.OpenPort();
    EXPECT_EQ(view.lines.back(), c.laterOpenLine);
  }
}

TEST_F(PortControlTest, PortChangeQueriesNewNameAndOpensNewPort) {
  struct Case {
    const char* name;
    int upsFirst;
    bool up;
    bool failQuery;
    uint32_t newIndex;
    std::string portName;
  };
  const Case cases[] = {
      {"Down from the last", 2, false, false, 1, "Port B"},
      {"Up, query fails", 0, true, true, 1, "not set yet or error"},
      {"Down, query fails", 1, false, true, 0, "not set yet or error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeMidiInputService fake;
    fake.SetPorts({"Port A", "Port B", "Port C"});
    CaptureState capture(fake);
    RecordingHost view;
    PortControl ports(capture, view);
    ports.ReopenPort();
    for (int i = 0; i < c.upsFirst; ++i) ports.NextPort();
    view.Forget();
    if (c.failQuery) fake.FailCall(Call::kGetDevCaps, kNoDriver);
    c.up ? ports.NextPort() : ports.PreviousPort();
    EXPECT_EQ(ports.portName(), c.portName);
    EXPECT_EQ(ports.portIndex(), c.newIndex);
    EXPECT_EQ(view.lines,
              (Lines{kResetOk, kStopOk, kCloseOk, kOpenOk, kStartOk, kPrepareOk, kAddOk}));
    EXPECT_EQ(fake.OpenPortIndex(), c.newIndex);
    EXPECT_EQ(ports.openStatus(), 1);
  }
}

// A service whose texts are hostile: format directives, control bytes, no terminator.
class OddTextService : public FakeMidiInputService {
 public:
  MidiResult GetErrorText(MidiResult result, char* text, uint32_t size) override {
    if (result == kAllocated) {
      std::memset(text, 'x', size);  // every byte, no terminator
      return kNoError;
    }
    if (result == kNotEnabled) {
      text[0] = '\0';
      return kNoError;
    }
    const char odd[] = "100% %s%n%d\x01\r\xff";
    std::memcpy(text, odd, sizeof odd);
    return kNoError;
  }
};

TEST_F(PortControlTest, ServiceTextIsCopiedAfterLabelNeverFormatted) {
  struct Case {
    const char* name;
    std::optional<MidiResult> openFailure;
    std::string line;
  };
  const Case cases[] = {
      {"format directives and control bytes", std::nullopt,
       "midiInOpen            100% %s%n%d\x01\r\xff"},
      {"text filling the whole buffer", kAllocated,
       "midiInOpen            " + std::string(127, 'x')},
      {"empty text", kNotEnabled, "midiInOpen            "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OddTextService fake;
    fake.SetPorts({"Port A"});
    if (c.openFailure) fake.FailCall(Call::kOpen, *c.openFailure);
    CaptureState capture(fake);
    RecordingHost view;
    PortControl ports(capture, view);
    ports.OpenPort();
    EXPECT_EQ(view.lines, (Lines{c.line}));
  }
}

TEST_F(PortControlTest, StartRestartsClockOnlyWhenInputStarted) {
  PortControl& ports = Make({"Port A", "Port B"});
  ports.ReopenPort();
  ports.NextPort();
  EXPECT_EQ(host.inputStarts, 2);
  service.FailCall(Call::kStart, kNotEnabled);
  Forget();
  ports.StartInput();
  EXPECT_EQ(host.lines, (Lines{"midiInStart           The driver failed to enable."}));
  EXPECT_EQ(host.inputStarts, 0);
  EXPECT_EQ(host.refreshes, 1);
}

TEST_F(PortControlTest, PrepareHeaderSetsFourFieldsAndDropsEarlierStopRequest) {
  PortControl& ports = Make({"Port A"});
  ports.OpenPort();
  ReceiveHeader& header = state.receiveHeader;
  header.data.store(nullptr);
  header.bufferLength.store(7);
  header.flags.store(kHeaderDone | kHeaderInQueue);
  header.user.store(99);
  header.bytesRecorded.store(5);
  state.stopRequest.store(1);
  Forget();
  ports.PrepareHeader();
  EXPECT_EQ(host.lines, (Lines{kPrepareOk}));
  EXPECT_EQ(host.refreshes, 1);
  EXPECT_EQ(header.data.load(), state.receiveBuffer);
  EXPECT_EQ(header.bufferLength.load(), 64u);
  EXPECT_EQ(header.flags.load(), kHeaderPrepared);  // cleared, then marked by the service
  EXPECT_EQ(header.user.load(), 0u);
  EXPECT_EQ(header.bytesRecorded.load(), 5u);  // not one of the four
  EXPECT_EQ(StopRequest(), 0u);
}

TEST_F(PortControlTest, UnprepareBufferReleasesReturnedBufferWithItsBytes) {
  PortControl& ports = Make({"Port A"});
  ports.ReopenPort();
  const uint8_t partial[] = {0xF0, 0x09, 0x01};  // no F7 yet: stays in the buffer
  ASSERT_EQ(service.SendSysex(partial, sizeof partial, 100), 0u);
  Forget();
  ports.UnprepareBuffer();
  EXPECT_EQ(host.lines, (Lines{kResetOk}));
  EXPECT_EQ(service.CallLog(), (Lines{"Reset", "UnprepareHeader"}));
  EXPECT_EQ(state.sysexQ.writeIndex.load(), 3u);
  EXPECT_EQ(Count(kCountBuffersReleased), 1u);
  EXPECT_FALSE(service.BufferQueued());
  EXPECT_EQ(StopRequest(), 0u);  // cleared by the callback once released

  // Nothing is queued now, so this request stays pending...
  ports.UnprepareBuffer();
  EXPECT_EQ(StopRequest(), 1u);
  // ...and does not concern the buffer queued next: it circulates.
  ports.PrepareHeader();
  ports.AddBuffer();
  const uint8_t message[] = {0xF0, 0x09, 0x02, 0xF7};
  EXPECT_EQ(service.SendSysex(message, sizeof message, 200), 0u);
  EXPECT_EQ(service.SendSysex(message, sizeof message, 300), 0u);
  EXPECT_EQ(Count(kCountBuffersReceived), 2u);
  EXPECT_EQ(Count(kCountBuffersReleased), 1u);
  EXPECT_TRUE(service.BufferQueued());
  EXPECT_EQ(state.sysexQ.writeIndex.load(), 11u);
}

}  // namespace
}  // namespace tessaly
