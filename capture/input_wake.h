#pragma once

#include <atomic>
#include <cstdint>

// InputWake: how producers wake the service's input thread. A producer moves a count on after
// it queued something (Wake); the input thread reads the count before it takes what is queued
// (Seen) and sleeps until the count moves on from there (Sleep). Only the wake that moves the
// count on from where the input thread fell asleep makes a system call, so a producer pays for
// one only when the thread really sleeps. Wake never locks, waits or allocates.
namespace tessaly {

class InputWake {
 public:
  // Any producer (or the window thread with a request): what was queued or requested before is
  // seen by the input thread once it sees the count move.
  void Wake() {
    // seq_cst (a release at least: what was queued or requested before is visible to the input
    // thread once it sees the count move), and seq_cst below, paired with the seq_cst pair in
    // Sleep: either Sleep sees the count move on from `before`, or this sees the input thread
    // asleep at `before`.
    const uint32_t before = count_.fetch_add(1, std::memory_order_seq_cst);
    // Only the one call that moves the count on from where the input thread fell asleep pays
    // for the system call: a JACK cycle hands its messages over one by one within
    // microseconds, and one wake-up takes them all. (A flag cleared by the first waker is not
    // enough: a waker whose count the input thread had already seen could clear the flag of
    // its next sleep and leave it asleep.)
    if (sleepingAt_.load(std::memory_order_seq_cst) == before) Notify();
  }
  // Input thread: the count before it looks at what is queued.
  uint32_t Seen() const {
    // acquire: pairs with the release in Wake; messages and requests made before are seen.
    return count_.load(std::memory_order_acquire);
  }
  // Input thread: waits until the count moves on from `seen`.
  void Sleep(uint32_t seen);

 private:
  void Notify();

  std::atomic<uint32_t> count_{0};
  // The count at which the input thread last went to sleep (or is about to): the Wake that
  // moves the count on from there must notify it.
  std::atomic<uint32_t> sleepingAt_{0};
};

}  // namespace tessaly
