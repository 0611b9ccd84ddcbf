#include "capture/drain_wake.h"

namespace tessaly {

void DrainWake::Signal() {
  // acq_rel, and always an exchange, never a cheap load first: when a signal is pending already
  // and we skip the write, the window's exchange in Rearm reads from this one, so the event the
  // callback published before calling us is seen by the drain that follows that Rearm. A plain
  // load could see a stale 1 while that drain still misses the event (a store-load reordering);
  // then only a later call would ask again, and a source that has stopped makes none.
  if (pending_.exchange(1, std::memory_order_acq_rel) != 0) return;
  signals_.fetch_add(1, std::memory_order_relaxed);  // a count only
  event_.Post();                                     // one per rearm: the counter never fills
}

void DrainWake::Rearm() {
  // The fd first, then the flag. The other order loses a wake: a signal between the two would
  // write the fd after the flag was cleared, and the read would swallow it, leaving the flag set
  // and the fd empty, so no crossing signals again before the timer drains. Read even when no
  // signal seems pending: a signal that raced the last Rearm may have written after its read.
  event_.Take();
  // acq_rel: pairs with the exchange in Signal (see there).
  pending_.exchange(0, std::memory_order_acq_rel);
}

}  // namespace tessaly
