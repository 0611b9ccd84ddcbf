#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

// Losses the MIDI system itself reports, below the monitor: a JACK read that failed, events
// the JACK server says it could not hand over, a JACK xrun, an ALSA input overrun. Input
// sources count them here from their own threads (JACK's process and notification threads,
// the ALSA reader thread: several at once, so every counter is a fetch_add); the drain takes
// what is new since its last look and shows it as lines (display/system_loss_lines.h), so no
// loss is only a number that nobody sees.
namespace tessaly {

enum class SystemLoss : uint8_t {
  kJackReadFailed,  // jack_midi_event_get failed: the rest of the cycle's events are gone
  kJackLostEvents,  // jack_midi_get_lost_event_count: events the server had no room for
  kJackXrun,        // the server missed a cycle: the monitor may have missed its input
  kAlsaOverrun,     // the kernel flushed the client's input FIFO (-ENOSPC from the read)
};
inline constexpr size_t kSystemLossKinds = 4;

struct LossTally {
  uint64_t occurrences = 0;  // times the system reported it
  uint64_t events = 0;       // events lost, where the system gave a count
  uint64_t uncounted = 0;    // occurrences whose count the system did not give
};

class SystemLosses {
 public:
  // Any thread; never locks, waits or allocates. `events`: the count the system gave, or
  // nothing when `counted` is false.
  void Report(SystemLoss kind, uint64_t events, bool counted = true) {
    Counters& c = counters_[static_cast<size_t>(kind)];
    // relaxed, each: counts only; a drain that sees one half of a report before the other
    // shows the rest at its next look, and the totals always add up.
    if (counted) {
      c.events.fetch_add(events, std::memory_order_relaxed);
    } else {
      c.uncounted.fetch_add(1, std::memory_order_relaxed);
    }
    c.occurrences.fetch_add(1, std::memory_order_relaxed);
    // release: whoever sees the new total (Reports, acquire) sees this report's counts too.
    reports_.fetch_add(1, std::memory_order_release);
  }

  // Reports made so far, over every kind: one load that tells a reader whether to look at the
  // counts at all.
  uint64_t Reports() const { return reports_.load(std::memory_order_acquire); }

  LossTally Read(SystemLoss kind) const {
    const Counters& c = counters_[static_cast<size_t>(kind)];
    // relaxed, each: counts only (see Report).
    return {c.occurrences.load(std::memory_order_relaxed), c.events.load(std::memory_order_relaxed),
            c.uncounted.load(std::memory_order_relaxed)};
  }

  // Events lost with a count, and reports without one, over every kind.
  uint64_t EventsLost() const {
    uint64_t total = 0;
    for (size_t i = 0; i < kSystemLossKinds; ++i) total += Read(static_cast<SystemLoss>(i)).events;
    return total;
  }
  uint64_t Uncounted() const {
    uint64_t total = 0;
    for (size_t i = 0; i < kSystemLossKinds; ++i) {
      total += Read(static_cast<SystemLoss>(i)).uncounted;
    }
    return total;
  }

 private:
  struct Counters {
    std::atomic<uint64_t> occurrences{0};
    std::atomic<uint64_t> events{0};
    std::atomic<uint64_t> uncounted{0};
  };
  Counters counters_[kSystemLossKinds];
  std::atomic<uint64_t> reports_{0};
};

}  // namespace tessaly
