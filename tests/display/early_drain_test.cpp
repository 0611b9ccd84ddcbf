// Bursts far longer than the queues, carried by the early drain alone. The test's driver thread
// plays a source as fast as the queues allow: it sends whenever the ring (and the sysex queue)
// has room and waits only while the next event would overwrite one the window has not taken.
// The test's window thread has no timer: it waits on the drain wake's fd with poll() and drains
// when woken. So every event reaches a list only because the callback asked for an early drain
// and the window heard it; a wake that never comes stalls the driver, and the window's safety
// timeout (long, and counted) turns that stall into a failure instead of a hang.
//
// Checked: every event shown once, in order, with its exact line; nothing counted lost; no
// sysex byte dropped; no drain came from the safety timeout. Run under ThreadSanitizer by
// scripts/test.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "capture/fake_midi_input_service.h"
#include "capture/midi_constants.h"
#include "display/monitor_core.h"
#include "tests/support/expected_event_line.h"
#include "tests/support/open_capture.h"

namespace tessaly {
namespace {

// Only a missed wake ever waits this long; a drain that came from it fails the test.
constexpr int kSafetyNetMs = 20000;

// The word of short message i: every kind of channel message and the realtime messages in turn
// (not the system common ones, whose counts share the callback's cells, lost events among them).
uint32_t ShortWord(uint32_t i) {
  const uint32_t kind = i % 8;
  const uint32_t low = (i / 8) % 16;
  const auto status = static_cast<uint8_t>(kind < 7 ? 0x80 + kind * 16 + low : 0xF8 + low % 8);
  return PackShortMessage(status, i & 0x7F, (i >> 7) & 0x7F);
}

std::string SysexText(uint32_t m) {
  std::string text = "sysex " + std::to_string(m) + " ";
  text.resize(20 + (m * 53) % 240, static_cast<char>('a' + m % 26));
  return text;
}

class EarlyDrainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_GE(stopFd_, 0);
    service.SetPorts({"p"});
    testing::OpenAndQueue(service, core.capture());
    core.DrainAndDisplay();  // the first drain zeroes the statistics
    core.messageBoxList.Clear();
    ASSERT_GE(core.capture().drainWake.fd(), 0);
  }
  void TearDown() override { close(stopFd_); }

  // Driver thread: waits until `events` more ring slots and `bytes` more sysex queue bytes are
  // free, so that nothing unread is overwritten or dropped. Only the window's drains free them.
  void WaitForRoom(uint64_t events, uint64_t bytes) {
    const CaptureState& state = core.capture();
    for (;;) {
      // acquire, both: pairs with the drain's release of its read indices.
      const uint64_t unreadEvents = state.eventRing.writeIndex.load(std::memory_order_relaxed) -
                                    state.eventRing.readIndex.load(std::memory_order_acquire);
      const uint64_t unreadBytes = state.sysexQ.writeIndex.load(std::memory_order_relaxed) -
                                   state.sysexQ.readIndex.load(std::memory_order_acquire);
      if (unreadEvents + events <= kEventRingSize && unreadBytes + bytes <= kSysexQSize) return;
      std::this_thread::yield();
    }
  }

  // Driver thread, at the end: tells the window loop to take what is left and stop.
  void Stop() {
    const uint64_t one = 1;
    ASSERT_EQ(write(stopFd_, &one, sizeof one), static_cast<ssize_t>(sizeof one));
  }

  // Window thread: drains whenever the drain wake's fd is readable, until Stop; then one last
  // drain, as the next timer tick would make, for what stayed below the fill marks.
  void RunWindowLoop() {
    pollfd fds[2] = {{core.capture().drainWake.fd(), POLLIN, 0}, {stopFd_, POLLIN, 0}};
    for (;;) {
      const int ready = poll(fds, 2, kSafetyNetMs);
      ASSERT_GE(ready, 0);
      if (ready == 0) ++safetyTimeouts;
      if ((fds[1].revents & POLLIN) != 0) break;
      core.DrainAndDisplay();
    }
    core.DrainAndDisplay();
  }

  // `drive` plays the source on a driver thread while this thread runs the window loop; the
  // loop ends once `drive` has returned and everything it sent has been drained.
  template <typename Drive>
  void Play(Drive drive) {
    std::thread driver([&] {
      drive();
      Stop();
    });
    RunWindowLoop();
    driver.join();
  }

  // The message list shows short messages 0 to count - 1, in order, each with its exact line.
  void ExpectShortLines(size_t count) {
    const OutputList& lines = core.basicMessageList;
    ASSERT_EQ(lines.Count(), count);
    for (uint32_t i = 0; i < count; ++i) {
      ASSERT_EQ(lines.Line(i), testing::ExpectedEventLine(i, ShortWord(i))) << "event " << i;
    }
  }

  void ExpectNothingLost() {
    const CaptureState& state = core.capture();
    EXPECT_EQ(state.statusCounters.Get(kCountEventsLost), 0u);
    EXPECT_EQ(state.sysexQ.bytesDropped.load(), 0u);
    EXPECT_EQ(core.messageBoxList.Count(), 0u) << core.messageBoxList.Line(0);
    EXPECT_EQ(safetyTimeouts, 0) << "a drain waited for the safety timeout: a wake was missed";
    EXPECT_GT(state.drainWake.signals(), 0u);
  }

  FakeMidiInputService service;
  MonitorCore core{service};
  int safetyTimeouts = 0;

 private:
  int stopFd_ = eventfd(0, EFD_CLOEXEC);
};

TEST_F(EarlyDrainTest, ShortMessageBurstsAreShownOnceInOrderWithNoneLost) {
  // Bursts many times the ring, and small ones that stay below the fill mark until the next
  // burst pushes the ring past it; exactly the mark, and one short of a full ring.
  const uint32_t bursts[] = {5000, 100, 3000, 256, 20000, 1, 511, 255, 10000, 2};
  uint32_t total = 0;
  for (uint32_t n : bursts) total += n;

  Play([&] {
    uint32_t i = 0;
    for (uint32_t n : bursts) {
      for (uint32_t k = 0; k < n; ++k, ++i) {
        WaitForRoom(1, 0);
        service.DeliverShort(ShortWord(i), i);
      }
      // A gap between bursts, so each starts on a ring the window may have emptied.
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });

  ASSERT_NO_FATAL_FAILURE(ExpectShortLines(total));
  ExpectNothingLost();
}

TEST_F(EarlyDrainTest, SysexBurstsWithShortMessagesBetweenAreShownWhole) {
  // Text strings of 24 to 264 bytes, sent as a device does: in pieces of up to 64 bytes, each
  // returned buffer taking a ring slot too; a short message after every third one.
  constexpr uint32_t kMessages = 1500;
  std::vector<uint32_t> shortAfter;
  for (uint32_t m = 0; m < kMessages; ++m) {
    if (m % 3 == 2) shortAfter.push_back(m);
  }

  Play([&] {
    uint32_t shorts = 0;
    for (uint32_t m = 0; m < kMessages; ++m) {
      const std::string text = SysexText(m);
      std::vector<uint8_t> bytes = {0xF0, kDeviceFamilyId, 0x11};
      bytes.insert(bytes.end(), text.begin(), text.end());
      bytes.push_back(0xF7);
      for (size_t at = 0; at < bytes.size(); at += 64) {
        const size_t n = std::min<size_t>(64, bytes.size() - at);
        // A piece returns at most two buffers: the one it fills and the one its F7 ends.
        WaitForRoom(2, 2 * kReceiveBufferLength);
        service.SendSysex(bytes.data() + at, n, m);
      }
      if (m % 3 == 2) {
        WaitForRoom(1, 0);
        service.DeliverShort(ShortWord(shorts), shorts);
        ++shorts;
      }
      if (m % 500 == 499) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  });

  const OutputList& sysex = core.sysexList;
  ASSERT_EQ(sysex.Count(), kMessages);
  for (uint32_t m = 0; m < kMessages; ++m) {
    ASSERT_EQ(sysex.Line(m), SysexText(m)) << "message " << m;
  }
  ASSERT_NO_FATAL_FAILURE(ExpectShortLines(shortAfter.size()));
  ExpectNothingLost();
  EXPECT_TRUE(service.BufferQueued());
}

// Records the ring's read index as each line reaches the list, i.e. part way through a drain.
class ReadIndexProbe : public LineObserver {
 public:
  explicit ReadIndexProbe(const EventRing& ring) : ring_(ring) {}
  void LineAppended(const OutputList&, std::string_view) override {
    seen.push_back(ring_.readIndex.load(std::memory_order_acquire));
  }
  std::vector<uint64_t> seen;

 private:
  const EventRing& ring_;
};

TEST_F(EarlyDrainTest, ALongDrainShowsItsProgressToTheWriterAsItGoes) {
  // A source held back on a full ring (and the callback's fill check) can go on once the drain
  // has copied some slots, instead of waiting for the whole drain: the read index moves every 64
  // events. One thread, no timing: the probe sees the index while each line is appended.
  const EventRing& ring = core.capture().eventRing;
  const uint64_t start = ring.readIndex.load();
  for (uint32_t i = 0; i < 500; ++i) ASSERT_TRUE(service.DeliverShort(ShortWord(i), i));
  ReadIndexProbe probe(ring);
  core.basicMessageList.SetObserver(&probe);
  core.DrainAndDisplay();
  core.basicMessageList.SetObserver(nullptr);

  ASSERT_EQ(probe.seen.size(), 500u);
  for (size_t k = 0; k < probe.seen.size(); ++k) {
    // Line k is event start + k: its slot and every one before it are copied, and the index
    // has gone out at the last multiple of 64 at or below them.
    const uint64_t copied = start + k + 1;
    EXPECT_EQ(probe.seen[k], std::max(start, copied & ~uint64_t{63})) << "line " << k;
  }
  EXPECT_EQ(ring.readIndex.load(), start + 500);
}

}  // namespace
}  // namespace tessaly
