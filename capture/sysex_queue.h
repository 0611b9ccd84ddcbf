#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>

// SysexQ: the raw bytes of every returned receive buffer, from the driver thread (single
// producer: the input callback) to the window thread (single consumer: the sysex drain).
// Indices count up without bound (64 bits, so they never wrap); slot = index AND 8191.
//
// The writer never overwrites an unread byte. When a buffer does not fit, the bytes that fit
// are stored, the rest are dropped and counted, and the queue is marked as overflowed at the
// write index: from then on the writer drops everything until the reader has taken every byte
// up to that mark and cleared it. So the reader always sees intact bytes, and knows exactly
// where the gap lies.
namespace tessaly {

inline constexpr uint32_t kSysexQSize = 8192;

struct SysexQ {
  // Written by the callback only.
  alignas(64) std::atomic<uint64_t> writeIndex{0};
  // Written by the drain only.
  alignas(64) std::atomic<uint64_t> readIndex{0};
  // Set by the callback at an overflow, cleared by the drain once it has reached the mark.
  alignas(64) std::atomic<uint32_t> overflowPending{0};
  std::atomic<uint64_t> overflowIndex{0};
  // Bytes the writer dropped, for the reports (only grows).
  std::atomic<uint64_t> bytesDropped{0};
  alignas(64) uint8_t bytes[kSysexQSize] = {};
};

// Driver thread. Appends `n` bytes; never blocks, never overwrites unread bytes.
inline void WriteSysexQ(SysexQ& q, const uint8_t* data, size_t n) {
  if (n == 0) return;
  // acquire: pairs with the release in ReadSysexQ that clears the mark after the read index
  // has moved past it, so the read index loaded below is at least that far.
  if (q.overflowPending.load(std::memory_order_acquire) != 0) {
    q.bytesDropped.fetch_add(n, std::memory_order_relaxed);  // a count only
    return;
  }
  const uint64_t w = q.writeIndex.load(std::memory_order_relaxed);  // our own index
  // acquire: pairs with the release store of the read index; the drain is done with every
  // slot below it, so they may be written again.
  const uint64_t r = q.readIndex.load(std::memory_order_acquire);
  const uint64_t room = kSysexQSize - (w - r);
  const size_t stored = static_cast<size_t>(std::min<uint64_t>(room, n));
  for (size_t i = 0; i < stored; ++i) q.bytes[(w + i) & (kSysexQSize - 1)] = data[i];
  // release: the bytes are stored before the index passes them; pairs with the acquire in
  // ReadSysexQ.
  q.writeIndex.store(w + stored, std::memory_order_release);
  if (stored < n) {
    q.bytesDropped.fetch_add(n - stored, std::memory_order_relaxed);  // a count only
    q.overflowIndex.store(w + stored, std::memory_order_relaxed);     // published by the next line
    // release: the mark's index and the write index are visible before the mark is.
    q.overflowPending.store(1, std::memory_order_release);
  }
}

// Window thread. Hands every unread byte to `consume(const uint8_t* bytes, size_t n)` in
// order, in one or more runs, and calls `overflow()` at the place where bytes were dropped.
// Bytes that arrive during the call are taken in the same call, up to a bound, so that a
// flood cannot keep the window thread here for good.
template <class Consume, class Overflow>
void ReadSysexQ(SysexQ& q, Consume&& consume, Overflow&& overflow) {
  constexpr int kMaxPasses = 8;
  uint64_t r = q.readIndex.load(std::memory_order_relaxed);  // our own index
  for (int pass = 0; pass < kMaxPasses; ++pass) {
    // acquire: pairs with the release that set the mark; the mark's index and the bytes
    // below it are visible once the mark is.
    const bool pending = q.overflowPending.load(std::memory_order_acquire) != 0;
    const uint64_t mark = q.overflowIndex.load(std::memory_order_relaxed);
    // acquire: pairs with the writer's release; the bytes below the index are stored.
    const uint64_t w = pending ? mark : q.writeIndex.load(std::memory_order_acquire);
    while (r < w) {
      const size_t slot = static_cast<size_t>(r & (kSysexQSize - 1));
      const size_t run = static_cast<size_t>(std::min<uint64_t>(w - r, kSysexQSize - slot));
      consume(q.bytes + slot, run);
      r += run;
    }
    // release: the writer may reuse the slots below r once it sees this.
    q.readIndex.store(r, std::memory_order_release);
    if (pending) {
      overflow();
      // release: the read index moved past the mark before the writer may write again.
      q.overflowPending.store(0, std::memory_order_release);
      continue;
    }
    if (q.writeIndex.load(std::memory_order_acquire) == r) return;
  }
}

}  // namespace tessaly
