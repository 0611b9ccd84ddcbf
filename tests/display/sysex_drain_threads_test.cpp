#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "sysex_test_support.h"

namespace tessaly {
namespace {

using namespace sysex_test;

// The driver thread writes while the window thread drains: every message comes out once, whole
// and in order, whatever the pieces the writer's buffers cut it into.
TEST(SysexDrainThreadsTest, EveryMessageDecodedOnceInOrderWhileTheWriterRuns) {
  constexpr int kMessages = 20000;
  auto rig = MakeRig();
  std::thread writer([&rig] {
    Bytes stream;
    for (int i = 0; i < kMessages; ++i) {
      char text[32];
      const int n = std::snprintf(text, sizeof text, "message %05d", i);
      stream.insert(stream.end(), {0xF0, 0x09, 0x11});
      stream.insert(stream.end(), text, text + n);
      stream.push_back(0xF7);
    }
    size_t at = 0;
    for (size_t piece = 1; at < stream.size(); piece = piece % 64 + 1) {
      const size_t n = std::min(piece, stream.size() - at);
      // Waits for room, as a sender slower than the drain would; the queue never overflows.
      while (kSysexQSize - (rig->queue.writeIndex.load() - rig->queue.readIndex.load()) < n) {
        std::this_thread::yield();
      }
      WriteSysexQ(rig->queue, stream.data() + at, n);
      at += n;
    }
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (rig->list.Count() < static_cast<size_t>(kMessages) &&
         std::chrono::steady_clock::now() < deadline) {
    rig->Drain();
  }
  writer.join();
  rig->Drain();
  ASSERT_EQ(rig->list.Count(), static_cast<size_t>(kMessages));
  for (int i = 0; i < kMessages; ++i) {
    char expected[32];
    std::snprintf(expected, sizeof expected, "message %05d", i);
    ASSERT_EQ(rig->list.Line(static_cast<size_t>(i)), expected) << "line " << i;
  }
  EXPECT_EQ(rig->stopRequest.load(), 0u);
}

}  // namespace
}  // namespace tessaly
