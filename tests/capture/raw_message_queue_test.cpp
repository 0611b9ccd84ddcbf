#include "capture/raw_message_queue.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// A record given in two parts comes out as one, whichever of its header, prefix and data the
// end of the ring cuts; one longer than kMaxMessage is counted, not split.
TEST(RawMessageQueueTest, JoinedRecordsComeOutWholeAcrossTheEnd) {
  const uint8_t prefix[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  const uint8_t data[5] = {0x90, 0x3C, 0x64, 0xF8, 0xFE};
  auto out = std::make_unique<uint8_t[]>(kMax);
  std::vector<uint8_t> filler(kMax);
  // Bytes from the record's start to the ring's end: in its header, its prefix, its data.
  for (size_t room : {size_t{4}, kHeader + 3, kHeader + sizeof prefix + 2}) {
    RawMessageQueue queue;
    uint32_t stamp = 0;
    size_t n = 0;
    // Fill and empty the ring up to `room` bytes before its end.
    for (size_t left = kCapacity - room; left > 0;) {
      const size_t piece = std::min(left - kHeader, kMax);
      ASSERT_TRUE(queue.Push(0, filler.data(), piece));
      ASSERT_TRUE(queue.Pop(stamp, out.get(), n));
      left -= kHeader + piece;
    }
    ASSERT_TRUE(queue.PushJoined(7, prefix, sizeof prefix, data, sizeof data)) << room;
    ASSERT_TRUE(queue.Pop(stamp, out.get(), n)) << room;
    EXPECT_EQ(stamp, 7u);
    ASSERT_EQ(n, sizeof prefix + sizeof data) << room;
    EXPECT_TRUE(std::equal(prefix, prefix + sizeof prefix, out.get())) << room;
    EXPECT_TRUE(std::equal(data, data + sizeof data, out.get() + sizeof prefix)) << room;
    EXPECT_FALSE(queue.PushJoined(0, prefix, sizeof prefix, filler.data(), kMax)) << room;
    EXPECT_EQ(queue.Dropped(), 1u) << room;
    EXPECT_TRUE(queue.Empty()) << room;
  }
}

}  // namespace
}  // namespace tessaly
