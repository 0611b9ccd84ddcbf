#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>

// The clock of the service's time stamps: a stamp is the whole milliseconds from the start of
// input to a time on the monotonic clock (0 for a time before the start), and stands for the
// start plus those milliseconds, so that a replay stamps the same.
namespace tessaly {

inline int64_t MonotonicNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

inline uint32_t StampMs(int64_t ns, int64_t startNs) {
  return static_cast<uint32_t>(static_cast<uint64_t>(std::max<int64_t>(ns - startNs, 0)) /
                               1000000u);
}

inline int64_t StampNs(uint32_t stampMs, int64_t startNs) {
  return startNs + int64_t{stampMs} * 1000000;
}

}  // namespace tessaly
