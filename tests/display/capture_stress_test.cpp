// Two threads at full speed: the test's driver thread calls the input callback while this
// thread drains. Run under ThreadSanitizer by scripts/test.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "capture/fake_midi_input_service.h"
#include "capture/midi_constants.h"
#include "display/monitor_core.h"
#include "tests/support/open_capture.h"
#include "tests/support/sequenced_lines.h"

namespace tessaly {
namespace {

TEST(CaptureStressTest, EveryShortMessageIsShownOnceInOrderOrCountedLost) {
  constexpr uint32_t kSent = 100000;
  FakeMidiInputService service;
  service.SetPorts({"p"});
  MonitorCore core(service);
  testing::OpenAndQueue(service, core.capture());
  core.DrainAndDisplay();  // zero the statistics before the stream starts
  core.basicMessageList.Clear();

  std::atomic<bool> done{false};
  const EventRing& ring = core.capture().eventRing;
  std::thread driver([&] {
    // The time stamp carries the sequence number; the message varies with it too. The driver
    // mostly lets the drain keep up, so both threads work on the ring at once, and now and
    // then sends a burst that laps it.
    for (uint32_t i = 1; i <= kSent; ++i) {
      const bool burst = (i / 4096) % 4 == 3;
      while (!burst && i - ring.readIndex.load(std::memory_order_acquire) > 400) {
        std::this_thread::yield();
      }
      service.DeliverShort(PackShortMessage(0x90 | (i & 0x0F), i & 0x7F, (i >> 7) & 0x7F), i);
    }
    done.store(true, std::memory_order_release);
  });
  while (!done.load(std::memory_order_acquire)) core.DrainAndDisplay();
  driver.join();
  core.DrainAndDisplay();

  const OutputList& lines = core.basicMessageList;
  ASSERT_EQ(testing::FirstSequenceFault(
                lines, kSent, /*whole=*/false,
                [](uint32_t i) {
                  char expected[kPrefixSize];
                  const size_t n = EventLines::FormatTimeStampPrefix(
                      expected, i, PackShortMessage(0x90 | (i & 0x0F), i & 0x7F, (i >> 7) & 0x7F));
                  return std::string(expected, n);
                }),
            "");
  const uint64_t lost = core.capture().statusCounters.Get(kCountEventsLost);
  EXPECT_EQ(lines.Count() + lost, kSent);
  uint64_t reported = 0;
  for (size_t k = 0; k < core.messageBoxList.Count(); ++k) {
    unsigned long long n = 0;
    const std::string line(core.messageBoxList.Line(k));
    ASSERT_EQ(std::sscanf(line.c_str(), "EVENT RING OVERRUN %llu events lost", &n), 1) << line;
    reported += n;
  }
  EXPECT_EQ(reported, lost);
  std::printf("shown %zu, lost %llu of %u\n", lines.Count(), static_cast<unsigned long long>(lost),
              kSent);
}

TEST(CaptureStressTest, SysexBytesArriveIntactOrAreCountedDropped) {
  FakeMidiInputService service;
  service.SetPorts({"p"});
  auto state = std::make_unique<CaptureState>(service);
  testing::OpenAndQueue(service, *state);

  // Messages of varying length whose bytes follow a running counter (never F7 inside).
  std::vector<uint8_t> sent;
  uint32_t counter = 0;
  for (int m = 0; m < 3000; ++m) {
    sent.push_back(0xF0);
    const int length = 1 + (m * 37) % 300;
    for (int i = 0; i < length; ++i) sent.push_back(static_cast<uint8_t>(counter++ % 0x70));
    sent.push_back(0xF7);
  }

  std::atomic<bool> done{false};
  const SysexQ& queue = state->sysexQ;
  std::thread driver([&] {
    for (size_t at = 0; at < sent.size(); at += 100) {
      // Mostly paced by the reader; every fourth stretch is a flood past the queue.
      const bool burst = (at / 50000) % 4 == 3;
      while (!burst && queue.writeIndex.load(std::memory_order_relaxed) -
                               queue.readIndex.load(std::memory_order_acquire) >
                           6000) {
        std::this_thread::yield();
      }
      service.SendSysex(sent.data() + at, std::min<size_t>(100, sent.size() - at), 0);
    }
    done.store(true, std::memory_order_release);
  });
  std::vector<std::vector<uint8_t>> segments(1);
  auto read = [&] {
    ReadSysexQ(
        state->sysexQ,
        [&](const uint8_t* b, size_t n) {
          segments.back().insert(segments.back().end(), b, b + n);
        },
        [&] { segments.emplace_back(); });
  };
  for (int pass = 1; !done.load(std::memory_order_acquire); ++pass) {
    read();
    // A reader that is busy now and then, as a window thread is: bursts then overflow.
    if (pass % 64 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  driver.join();
  read();

  size_t consumed = 0;
  size_t from = 0;
  for (const auto& segment : segments) {
    // Each run between two gaps is an unbroken stretch of what was sent, in order.
    if (segment.empty()) continue;
    auto at = std::search(sent.begin() + from, sent.end(), segment.begin(), segment.end());
    ASSERT_NE(at, sent.end()) << "a run of bytes that was never sent";
    from = static_cast<size_t>(at - sent.begin()) + segment.size();
    consumed += segment.size();
  }
  EXPECT_EQ(consumed + state->sysexQ.bytesDropped.load(), sent.size());
  EXPECT_TRUE(service.BufferQueued());
  std::printf("sysex bytes kept %zu, dropped %llu, gaps %zu\n", consumed,
              static_cast<unsigned long long>(state->sysexQ.bytesDropped.load()),
              segments.size() - 1);
}

}  // namespace
}  // namespace tessaly
