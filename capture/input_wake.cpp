#include "capture/input_wake.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tessaly {
namespace {

// The wake count as the kernel's futex word. std::atomic::wait spins first, with several
// sched_yield calls at each sleep: once every JACK cycle, and a good share of the input
// thread's time. The futex itself sleeps at once; the count is checked before and after.
static_assert(sizeof(std::atomic<uint32_t>) == sizeof(uint32_t) &&
              std::atomic<uint32_t>::is_always_lock_free);
uint32_t* FutexWord(std::atomic<uint32_t>& word) {
  return reinterpret_cast<uint32_t*>(&word);
}

}  // namespace

void InputWake::Notify() {
  syscall(SYS_futex, FutexWord(count_), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
}

void InputWake::Sleep(uint32_t seen) {
  // seq_cst, both: see Wake. The mark is never taken back: no later Wake finds the count at
  // `seen` again (but after 2^32 wake-ups, when one spare notify costs nothing).
  sleepingAt_.store(seen, std::memory_order_seq_cst);
  // The kernel sleeps only while the word still holds `seen` (a wake in between returns at once);
  // a spurious return or a signal checks again.
  while (count_.load(std::memory_order_seq_cst) == seen) {
    syscall(SYS_futex, FutexWord(count_), FUTEX_WAIT_PRIVATE, seen, nullptr, nullptr, 0);
  }
}

}  // namespace tessaly
