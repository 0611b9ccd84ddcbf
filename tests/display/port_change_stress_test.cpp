// Port changes under live input: the test's driver thread sends short messages and sysex
// without pause while this (window) thread drains and steps the port up and down over three
// ports, now and then with a close that fails. Run under ThreadSanitizer by scripts/test.
//
// What must hold: every short message is shown once and in order, or counted lost in the
// ring, or was refused by the service because no port was open at that moment; every sysex
// byte reaches the queue or is accounted for; and sysex input goes on after every port change.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "capture/fake_midi_input_service.h"
#include "capture/midi_constants.h"
#include "display/monitor_core.h"
#include "tests/support/sequenced_lines.h"

namespace tessaly {
namespace {

using Call = FakeMidiInputService::Call;
using Lines = std::vector<std::string>;
using Clock = std::chrono::steady_clock;

const std::string kOk = "The specified command was carried out.";
const std::string kBusy = "The handle is in use by another thread.";
const std::string kOpenOk = "midiInOpen            " + kOk;
const std::string kStartOk = "midiInStart           " + kOk;
const std::string kPrepareOk = "midiInPrepareHeader   " + kOk;
const std::string kAddOk = "midiInAddBuffer       " + kOk;
const std::string kResetOk = "midiInReset           " + kOk;
const std::string kStopOk = "midiInStop            " + kOk;
const std::string kCloseOk = "midiInClose           " + kOk;
const std::string kCloseBusy = "midiInClose           " + kBusy;
const std::string kRefused = "midiInOpen called when already open THIS IS BAD but protected now ";
const std::string kReleaseOk = "sysex Unprepare header function " + kOk;
const char* const kPortNames[] = {"Port A", "Port B", "Port C"};

// The short message of sequence number i; its time stamp is i too.
uint32_t ShortMessage(uint32_t i) {
  return PackShortMessage(0x90 | (i & 0x0F), i & 0x7F, (i >> 7) & 0x7F);
}

// A text-string message of the device family whose line reads "S000042-000042": a message
// torn by a port change can never pass for an intact one with another number.
std::vector<uint8_t> SysexMessage(uint32_t n) {
  char text[32];
  const int length = std::snprintf(text, sizeof text, "S%06u-%06u", n, n);
  std::vector<uint8_t> bytes = {kSysexStart, kDeviceFamilyId, 0x11};
  bytes.insert(bytes.end(), text, text + length);
  bytes.push_back(kSysexEnd);
  return bytes;
}

// The number of an intact sysex line, or 0.
uint32_t SysexLineNumber(std::string_view line) {
  unsigned a = 0, b = 0;
  char tail = 0;
  if (line.size() != 14) return 0;
  const std::string text(line);
  if (std::sscanf(text.c_str(), "S%6u-%6u%c", &a, &b, &tail) != 2 || a != b) return 0;
  return a;
}

// The driver's side: shared with the window thread only through atomics.
struct Traffic {
  // The window thread asks for no more port changes when it has done its share.
  std::atomic<bool> windowFinished{false};
  std::atomic<bool> driverDone{false};
  // A burst laps the ring on purpose. Only short messages may be in the ring then, so that
  // every lost event is a short message: the driver asks, the window thread grants and only
  // drains until the burst is over.
  std::atomic<bool> burstWanted{false};
  std::atomic<bool> burstGranted{false};
  // Sysex messages whose SendSysex has returned.
  std::atomic<uint32_t> sysexSent{0};
  // Driver thread only until it is done.
  uint32_t shortsSent = 0;
  uint64_t shortsRefused = 0;
  uint64_t sysexBytesSent = 0;
  uint64_t sysexBytesDropped = 0;
  uint64_t bursts = 0;
};

class PortChangeStress {
 public:
  PortChangeStress() {
    service.SetPorts({kPortNames[0], kPortNames[1], kPortNames[2]});
    core = std::make_unique<MonitorCore>(service);
  }

  void Drive() {
    const EventRing& ring = core->capture().eventRing;
    auto unread = [&] {
      // acquire: pairs with the drain's release of the read index.
      return ring.writeIndex.load(std::memory_order_acquire) -
             ring.readIndex.load(std::memory_order_acquire);
    };
    auto sendShort = [&] {
      const uint32_t i = ++traffic.shortsSent;
      if (!service.DeliverShort(ShortMessage(i), i)) ++traffic.shortsRefused;
    };
    for (uint64_t round = 1; !traffic.windowFinished.load(std::memory_order_acquire); ++round) {
      if (round % 8 == 0) {
        traffic.burstWanted.store(true, std::memory_order_release);
        while (!traffic.burstGranted.load(std::memory_order_acquire)) std::this_thread::yield();
        // Nothing but this burst in the ring, before and after it.
        while (unread() != 0) std::this_thread::yield();
        for (int k = 0; k < 3000; ++k) sendShort();
        while (unread() != 0) std::this_thread::yield();
        traffic.burstWanted.store(false, std::memory_order_release);
        while (traffic.burstGranted.load(std::memory_order_acquire)) std::this_thread::yield();
        ++traffic.bursts;
        continue;
      }
      // Paced: the drain keeps up, so the ring never laps and no open, close or returned
      // buffer is ever lost.
      for (int k = 1; k <= 200; ++k) {
        while (unread() > 300) std::this_thread::yield();
        sendShort();
        if (k % 10 == 0) {
          const std::vector<uint8_t> message =
              SysexMessage(traffic.sysexSent.load(std::memory_order_relaxed) + 1);
          traffic.sysexBytesDropped += service.SendSysex(message, 0);
          traffic.sysexBytesSent += message.size();
          traffic.sysexSent.fetch_add(1, std::memory_order_release);
        }
      }
    }
    traffic.driverDone.store(true, std::memory_order_release);
  }

  // A drain; while a burst is asked for, only drains until it is over.
  void Drain() {
    core->DrainAndDisplay();
    if (!traffic.burstWanted.load(std::memory_order_acquire)) return;
    traffic.burstGranted.store(true, std::memory_order_release);
    while (traffic.burstWanted.load(std::memory_order_acquire)) core->DrainAndDisplay();
    traffic.burstGranted.store(false, std::memory_order_release);
  }

  // Drains until an intact sysex message sent wholly after this moment has been shown.
  bool SysexArrivesAfterThis(Clock::duration limit) {
    // Message n+1 may have been on its way during the change; n+2 was sent after it.
    const uint32_t wanted = traffic.sysexSent.load(std::memory_order_acquire) + 2;
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
      Drain();
      const OutputList& sysex = core->sysexList;
      for (; sysexLinesSeen < sysex.Count(); ++sysexLinesSeen) {
        if (SysexLineNumber(sysex.Line(sysexLinesSeen)) >= wanted) return true;
      }
    }
    return false;
  }

  FakeMidiInputService service;
  std::unique_ptr<MonitorCore> core;
  Traffic traffic;
  size_t sysexLinesSeen = 0;
};

TEST(PortChangeStressTest, InputSurvivesPortChangesUnderLoad) {
  constexpr int kSteps = 240;
  PortChangeStress rig;
  MonitorCore& core = *rig.core;
  core.Start();
  core.DrainAndDisplay();  // the first drain zeroes the statistics: before the stream starts
  Lines expected = {kOpenOk, kStartOk, kPrepareOk, kAddOk};
  for (std::string_view help : kHelpLines) expected.emplace_back(help);

  std::thread driver([&] { rig.Drive(); });
  int changes = 0;
  int noOps = 0;
  uint32_t openPort = 0;  // the port the service has open
  for (int step = 0; step < kSteps; ++step) {
    rig.Drain();
    // Up, up, up (the last does nothing), down, down, down (likewise), and again.
    const bool up = (step / 3) % 2 == 0;
    const uint32_t from = core.ports().portIndex();
    const bool noOp = up ? from == 2 : from == 0;
    const int closeFailures = noOp ? 0 : changes % 17 == 16 ? 2 : changes % 5 == 4 ? 1 : 0;
    if (closeFailures > 0) rig.service.FailCall(Call::kClose, kHandleBusy, closeFailures);
    const size_t before = core.messageBoxList.Count();
    up ? core.ports().NextPort() : core.ports().PreviousPort();
    if (noOp) {
      ++noOps;
      ASSERT_EQ(core.messageBoxList.Count(), before) << "step " << step;
      ASSERT_EQ(core.ports().portIndex(), from);
      continue;
    }
    ++changes;
    const uint32_t to = up ? from + 1 : from - 1;
    ASSERT_EQ(core.ports().portIndex(), to) << "step " << step;
    ASSERT_EQ(core.ports().portName(), kPortNames[to]);
    if (closeFailures == 2) {
      // The old port stays open and takes the new buffer; the next change closes it.
      expected.insert(expected.end(), {kResetOk, kStopOk, kResetOk, kCloseBusy, kRefused, kStartOk,
                                       kPrepareOk, kAddOk, kReleaseOk});
      ASSERT_EQ(core.ports().openStatus(), 0);
    } else {
      openPort = to;
      if (closeFailures == 1) {
        expected.insert(expected.end(), {kResetOk, kStopOk, kResetOk, kCloseOk});
      } else {
        expected.insert(expected.end(), {kResetOk, kStopOk, kCloseOk});
      }
      expected.insert(expected.end(), {kOpenOk, kStartOk, kPrepareOk, kAddOk, kReleaseOk});
      ASSERT_EQ(core.ports().openStatus(), 1);
    }
    ASSERT_EQ(rig.service.OpenPortIndex(), openPort);
    ASSERT_TRUE(rig.service.BufferQueued()) << "step " << step;
    ASSERT_TRUE(rig.SysexArrivesAfterThis(std::chrono::seconds(60)))
        << "no sysex after port change at step " << step;
  }
  rig.traffic.windowFinished.store(true, std::memory_order_release);
  while (!rig.traffic.driverDone.load(std::memory_order_acquire)) rig.Drain();
  driver.join();
  core.DrainAndDisplay();
  core.DrainAndDisplay();
  const Traffic& traffic = rig.traffic;
  const CaptureState& capture = core.capture();

  // Short messages: each shown once, in order, intact.
  const OutputList& shown = core.basicMessageList;
  ASSERT_EQ(testing::FirstSequenceFault(
                shown, traffic.shortsSent, /*whole=*/true,
                [](uint32_t i) {
                  char prefix[kPrefixSize];
                  char text[kPrefixSize];
                  const size_t p = EventLines::FormatTimeStampPrefix(prefix, i, ShortMessage(i));
                  const size_t t = EventLines::FormatChannelMessage(text, ShortMessage(i));
                  return std::string(prefix, p) + std::string(text, t);
                }),
            "");
  const uint64_t lost = capture.statusCounters.Get(kCountEventsLost);
  EXPECT_EQ(shown.Count() + lost + traffic.shortsRefused, traffic.shortsSent);
  uint64_t counted = 0;
  for (int status = 0x90; status <= 0x9F; ++status) {
    counted += capture.statusCounters.Get(static_cast<uint8_t>(status));
  }
  EXPECT_EQ(counted, shown.Count());

  // Status lines: exactly the port changes' lines and one release per change; the overrun
  // lines, which fall wherever a burst lapped the ring, add up to the lost events.
  Lines statusLines;
  uint64_t reported = 0;
  for (size_t k = 0; k < core.messageBoxList.Count(); ++k) {
    const std::string line(core.messageBoxList.Line(k));
    unsigned long long n = 0;
    if (std::sscanf(line.c_str(), "EVENT RING OVERRUN %llu events lost", &n) == 1) {
      reported += n;
    } else {
      statusLines.push_back(line);
    }
  }
  EXPECT_EQ(statusLines, expected);
  EXPECT_EQ(reported, lost);
  EXPECT_EQ(capture.statusCounters.Get(kCountBuffersReleased), static_cast<uint64_t>(changes));

  // Sysex: every byte reached the queue, or was dropped by the service while no buffer was
  // queued, or by the queue when full; the drain took all of it.
  EXPECT_EQ(traffic.sysexBytesSent, traffic.sysexBytesDropped + capture.sysexQ.writeIndex.load() +
                                        capture.sysexQ.bytesDropped.load());
  EXPECT_EQ(capture.sysexQ.readIndex.load(), capture.sysexQ.writeIndex.load());
  // Intact messages in order, never twice; a change tears at most one message.
  uint32_t lastNumber = 0;
  size_t intact = 0;
  for (size_t k = 0; k < core.sysexList.Count(); ++k) {
    const uint32_t n = SysexLineNumber(core.sysexList.Line(k));
    if (n == 0) continue;
    ASSERT_GT(n, lastNumber) << "sysex line " << k;
    lastNumber = n;
    ++intact;
  }
  EXPECT_LE(core.sysexList.Count() - intact, static_cast<size_t>(changes));
  EXPECT_LE(intact, traffic.sysexSent.load());

  EXPECT_EQ(noOps, kSteps / 3);
  std::printf(
      "port changes %d (%d steps did nothing), short messages sent %u: shown %zu, lost %llu in "
      "%llu bursts, refused while closed %llu; sysex messages sent %u: intact %zu, other lines "
      "%zu, bytes dropped with no buffer %llu\n",
      changes, noOps, traffic.shortsSent, shown.Count(), static_cast<unsigned long long>(lost),
      static_cast<unsigned long long>(traffic.bursts),
      static_cast<unsigned long long>(traffic.shortsRefused), traffic.sysexSent.load(), intact,
      core.sysexList.Count() - intact, static_cast<unsigned long long>(traffic.sysexBytesDropped));
}

}  // namespace
}  // namespace tessaly
