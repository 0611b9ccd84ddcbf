#include "capture/raw_message_queue.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace tessaly {
namespace {

constexpr size_t kMax = RawMessageQueue::kMaxMessage;
constexpr size_t kCapacity = RawMessageQueue::kCapacity;
constexpr size_t kHeader = RawMessageQueue::kHeaderSize;

// A message longer than one record goes in as consecutive records of at most kMaxMessage
// bytes, all or none, and comes out byte for byte; one that cannot fit now is counted once.
TEST(RawMessageQueueTest, LongMessagesAreSplitOrCountedWhole) {
  struct Case {
    size_t length;
    std::vector<size_t> records;  // empty: dropped
  };
  const Case cases[] = {
      {0, {0}},
      {3, {3}},
      {kMax, {kMax}},
      {kMax + 1, {kMax, 1}},
      {300000, {kMax, 300000 - kMax}},
      {kCapacity - 4 * kHeader, {kMax, kMax, kMax, kMax - 4 * kHeader}},  // fills the queue
      {kCapacity - 4 * kHeader + 1, {}},
      {kCapacity + 1, {}},
  };
  std::vector<uint8_t> message(kCapacity + 1);
  for (size_t i = 0; i < message.size(); ++i) message[i] = static_cast<uint8_t>(i * 7 + i / 251);
  auto out = std::make_unique<uint8_t[]>(kMax);
  RawMessageQueue queue;
  uint64_t dropped = 0;
  for (const Case& c : cases) {
    // An offset into the ring, so pieces also wrap around its end.
    ASSERT_TRUE(queue.Push(0, message.data(), 100));
    uint32_t stamp = 0;
    size_t n = 0;
    ASSERT_TRUE(queue.Pop(stamp, out.get(), n));
    const bool pushed = queue.Push(42, message.data(), c.length);
    EXPECT_EQ(pushed, !c.records.empty()) << c.length;
    if (!pushed) ++dropped;
    EXPECT_EQ(queue.Dropped(), dropped) << c.length;
    size_t at = 0;
    for (size_t expected : c.records) {
      ASSERT_TRUE(queue.Pop(stamp, out.get(), n)) << c.length;
      EXPECT_EQ(stamp, 42u);
      ASSERT_EQ(n, expected) << c.length;
      EXPECT_TRUE(std::equal(out.get(), out.get() + n, message.begin() + at)) << c.length;
      at += n;
    }
    EXPECT_TRUE(queue.Empty()) << c.length;
  }
}

}  // namespace
}  // namespace tessaly
