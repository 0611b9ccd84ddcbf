#pragma once

#include <atomic>
#include <cstdint>

// Counts per status byte. The drain counts short messages; the callback counts its calls and
// buffers in the last row (kCount* in midi_constants.h). Relaxed increments: the counts are
// for display only and order nothing.
namespace tessaly {

struct StatusCounters {
  std::atomic<uint64_t> count[256] = {};

  void Add(uint8_t status, uint64_t n = 1) {
    count[status].fetch_add(n, std::memory_order_relaxed);
  }
  uint64_t Get(uint8_t status) const { return count[status].load(std::memory_order_relaxed); }
  void Clear() {
    for (auto& c : count) c.store(0, std::memory_order_relaxed);
  }
};

}  // namespace tessaly
