#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

// EventRing: one slot for every call of the input callback, from the driver thread (single
// producer) to the window thread (single consumer: the drain). Indices count up without
// bound (64 bits, so they never wrap); slot = index AND 511.
//
// The callback never waits: when the drain is 512 events behind, the oldest unread slot is
// overwritten. Each slot carries a sequence tag, so the reader can tell an intact slot from
// one that was overwritten or is being written (a seqlock with one writer): it never shows a
// torn or overwritten event, and never shows one twice.
namespace tessaly {

inline constexpr uint32_t kEventRingSize = 512;
inline constexpr size_t kStatusTextSize = 128;

// Tag of a slot holding the complete event of index i; a slot being written carries the odd
// tag. 0 means never written.
constexpr uint64_t CompleteTag(uint64_t index) {
  return (index + 1) << 1;
}
constexpr uint64_t WritingTag(uint64_t index) {
  return CompleteTag(index) | 1;
}

struct EventSlot {
  std::atomic<uint64_t> sequence{0};
  std::atomic<uint32_t> timeStamp{0};
  std::atomic<uint32_t> message{0};
  std::atomic<uint32_t> kind{0};
  // 1 when the callback released the receive buffer in this call; statusText then holds the
  // text of the unprepare result.
  std::atomic<uint32_t> released{0};
  std::atomic<char> statusText[kStatusTextSize] = {};
};

struct EventRing {
  // Written by the callback only.
  alignas(64) std::atomic<uint64_t> writeIndex{0};
  // Written by the drain only.
  alignas(64) std::atomic<uint64_t> readIndex{0};
  alignas(64) EventSlot slots[kEventRingSize];
};

// A copy of one slot, as the drain works with it.
struct EventRecord {
  uint32_t timeStamp = 0;
  uint32_t message = 0;
  uint32_t kind = 0;
  bool released = false;
  char statusText[kStatusTextSize] = {};
};

// Driver thread: the slot for the next event, marked as being written. Fill its fields with
// release stores (StoreField), then call PublishEvent.
inline EventSlot& BeginEvent(EventRing& ring, uint64_t& index) {
  index = ring.writeIndex.load(std::memory_order_relaxed);  // our own index
  EventSlot& slot = ring.slots[index & (kEventRingSize - 1)];
  // relaxed: ordered before the field stores by their release.
  slot.sequence.store(WritingTag(index), std::memory_order_relaxed);
  return slot;
}

// release: a reader whose acquire load sees this value also sees the odd tag stored before it,
// so an overwrite in progress never passes for the event the reader asked for. Plain moves on
// x86; no standalone fences, which ThreadSanitizer cannot follow.
template <class T, class V>
inline void StoreField(std::atomic<T>& field, V value) {
  field.store(static_cast<T>(value), std::memory_order_release);
}

inline void PublishEvent(EventRing& ring, EventSlot& slot, uint64_t index) {
  // release: the fields are stored before the slot is tagged complete and before the write
  // index passes it; pairs with the acquire loads in TakeEvent.
  slot.sequence.store(CompleteTag(index), std::memory_order_release);
  ring.writeIndex.store(index + 1, std::memory_order_release);
}

// Window thread: copies the event of `index` if its slot still holds it intact. False when it
// was overwritten (or is being overwritten) by a later event.
inline bool TakeEvent(const EventRing& ring, uint64_t index, EventRecord& out) {
  const EventSlot& slot = ring.slots[index & (kEventRingSize - 1)];
  // acquire: pairs with the release in PublishEvent; the fields of that event are visible.
  if (slot.sequence.load(std::memory_order_acquire) != CompleteTag(index)) return false;
  // acquire, each: pairs with StoreField; a value from an overwrite in progress brings its odd
  // tag with it, and the tag is read again only after these loads.
  out.timeStamp = slot.timeStamp.load(std::memory_order_acquire);
  out.message = slot.message.load(std::memory_order_acquire);
  out.kind = slot.kind.load(std::memory_order_acquire);
  out.released = slot.released.load(std::memory_order_acquire) != 0;
  if (out.released) {
    for (size_t i = 0; i < kStatusTextSize; ++i) {
      out.statusText[i] = slot.statusText[i].load(std::memory_order_acquire);
    }
    out.statusText[kStatusTextSize - 1] = '\0';
  }
  return slot.sequence.load(std::memory_order_relaxed) == CompleteTag(index);
}

}  // namespace tessaly
