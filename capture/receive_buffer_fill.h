#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "capture/midi_input_service.h"

// The receive buffer a port is lent for system-exclusive bytes, and how it is filled: lent by
// the window thread or the callback (one at a time), filled on the input thread in chunks of any
// size, and handed back, marked done with the count of bytes it holds, when it is full or its
// message ended. Handing it back through the callback is the caller's.
namespace tessaly {

// A header's flags and count as it is lent, and as it comes back holding `bytes`. Relaxed, all:
// the hand-over of the header itself publishes them.
inline void MarkLent(ReceiveHeader& header) {
  header.bytesRecorded.store(0, std::memory_order_relaxed);
  header.flags.fetch_or(kHeaderInQueue, std::memory_order_relaxed);
  header.flags.fetch_and(~kHeaderDone, std::memory_order_relaxed);
}
inline void MarkReturned(ReceiveHeader& header, uint32_t bytes) {
  header.bytesRecorded.store(bytes, std::memory_order_relaxed);
  header.flags.fetch_and(~kHeaderInQueue, std::memory_order_relaxed);
  header.flags.fetch_or(kHeaderDone, std::memory_order_relaxed);
}

class ReceiveBufferFill {
 public:
  // --- window thread or the callback ---
  // Lends `header` (prepared, with data and length checked by the caller). kStillPlaying when a
  // buffer is lent already.
  MidiResult Lend(ReceiveHeader* header);
  // acquire, both: pairs with the release in Return; a buffer seen back is marked done.
  bool Lent() const { return queued_.load(std::memory_order_acquire) != nullptr; }
  bool IsLent(const ReceiveHeader* header) const {
    return queued_.load(std::memory_order_acquire) == header;
  }

  // --- input thread only ---
  // The buffer bytes go into (taken up afresh when another one was lent since), or null.
  ReceiveHeader* Current();
  // Current() exists and can be written to (a header changed since it was lent is not).
  bool Writable();
  // Current() holds as many bytes as it has room for.
  bool Full() const;
  // Copies what fits of `n` bytes into Current(), which is Writable(); returns how many.
  size_t Fill(const uint8_t* bytes, size_t n);
  // Marks Current() done with the bytes it holds and takes it back from the service: the
  // caller hands it to the callback.
  ReceiveHeader* Return();

 private:
  std::atomic<ReceiveHeader*> queued_{nullptr};
  ReceiveHeader* filling_ = nullptr;  // the buffer bytes go into, once taken from queued_
  uint32_t filled_ = 0;
};

}  // namespace tessaly
