#include "capture/drain_wake.h"

#include <sys/eventfd.h>
#include <unistd.h>

namespace tessaly {

DrainWake::DrainWake() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

DrainWake::~DrainWake() {
  if (fd_ >= 0) close(fd_);
}

void DrainWake::Signal() {
  // relaxed: a cheap look first, so a queue that stays above its mark costs no atomic write.
  if (pending_.load(std::memory_order_relaxed) != 0) return;
  // acq_rel: one signal per crossing; pairs with the exchange in Rearm.
  if (pending_.exchange(1, std::memory_order_acq_rel) != 0) return;
  signals_.fetch_add(1, std::memory_order_relaxed);  // a count only
  if (fd_ < 0) return;
  const uint64_t one = 1;
  // Non-blocking: a full counter (never reached: one write per rearm) would fail, not wait.
  [[maybe_unused]] const ssize_t written = write(fd_, &one, sizeof one);
}

void DrainWake::Rearm() {
  // acq_rel: pairs with the exchange in Signal.
  if (pending_.exchange(0, std::memory_order_acq_rel) == 0) return;
  if (fd_ < 0) return;
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t n = read(fd_, &count, sizeof count);
}

}  // namespace tessaly
