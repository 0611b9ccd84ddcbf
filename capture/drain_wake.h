#pragma once

#include <atomic>
#include <cstdint>

#include "capture/event_fd.h"

// Wakes the window thread for an early drain when a queue passes its fill mark (queue_marks.h),
// so that bursts far beyond what one 100 ms tick can hold are still taken in time. The window
// thread watches fd() (a socket notifier, or poll in the console) besides its timer.
//
// The driver thread signals at most once per mark crossing: one flag exchange and one
// non-blocking eventfd write, which never waits; below the mark it costs nothing but the
// fill check. Linux only (eventfd); without one, fd() is -1 and only the timer drains.
namespace tessaly {

class DrainWake {
 public:
  int fd() const { return event_.fd(); }

  // Driver thread: asks for an early drain unless one is asked already.
  void Signal();
  // Window thread, before a drain: takes the request back, so the next crossing signals again.
  void Rearm();
  // How many times the driver thread signalled (for the tests and the reports).
  uint64_t signals() const { return signals_.load(std::memory_order_relaxed); }

 private:
  EventFd event_;
  std::atomic<uint32_t> pending_{0};
  std::atomic<uint64_t> signals_{0};
};

}  // namespace tessaly
