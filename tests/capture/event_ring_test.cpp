#include "capture/event_ring.h"

#include <gtest/gtest.h>

#include <memory>

namespace tessaly {
namespace {

void Write(EventRing& ring, uint32_t message) {
  uint64_t index = 0;
  EventSlot& slot = BeginEvent(ring, index);
  StoreField(slot.message, message);
  StoreField(slot.kind, 0x3C3);
  StoreField(slot.timeStamp, index);
  StoreField(slot.released, 0);
  PublishEvent(ring, slot, index);
}

TEST(EventRingTest, SlotHoldsOnlyTheLatestIndexWrittenToIt) {
  auto ring = std::make_unique<EventRing>();
  EventRecord record;
  EXPECT_FALSE(TakeEvent(*ring, 0, record));  // never written
  for (uint32_t i = 0; i < kEventRingSize + 3; ++i) Write(*ring, i);
  // Indices 0-2 were overwritten by 512-514; 3 is the oldest intact one.
  for (uint64_t i : {0u, 1u, 2u}) EXPECT_FALSE(TakeEvent(*ring, i, record)) << i;
  ASSERT_TRUE(TakeEvent(*ring, 3, record));
  EXPECT_EQ(record.message, 3u);
  ASSERT_TRUE(TakeEvent(*ring, kEventRingSize + 2, record));
  EXPECT_EQ(record.message, kEventRingSize + 2);
  EXPECT_EQ(record.timeStamp, kEventRingSize + 2);
  EXPECT_FALSE(TakeEvent(*ring, kEventRingSize + 3, record));  // not written yet
}

TEST(EventRingTest, SlotBeingWrittenIsNotTaken) {
  auto ring = std::make_unique<EventRing>();
  for (uint32_t i = 0; i < kEventRingSize; ++i) Write(*ring, i);
  uint64_t index = 0;
  EventSlot& slot = BeginEvent(*ring, index);  // starts overwriting index 0's slot
  EventRecord record;
  EXPECT_FALSE(TakeEvent(*ring, 0, record));
  EXPECT_FALSE(TakeEvent(*ring, index, record));
  PublishEvent(*ring, slot, index);
  EXPECT_TRUE(TakeEvent(*ring, index, record));
}

}  // namespace
}  // namespace tessaly
