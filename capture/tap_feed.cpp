#include "capture/tap_feed.h"

#include "capture/input_clock.h"

namespace tessaly {

uint32_t TapFeed::Ask(CaptureTap* tap) {
  // release: the tap (and what the window thread pushed into it) is seen by the input thread
  // with the request below (pairs with the acquire in Follow).
  asked_.store(tap, std::memory_order_release);
  // acq_rel: the store above goes out with the request; one ticket for each caller.
  return askedCount_.fetch_add(1, std::memory_order_acq_rel) + 1;
}

void TapFeed::WaitTaken(uint32_t ticket) {
  for (;;) {
    // acquire: pairs with the release in Follow; the input thread is done with the old tap.
    const uint32_t taken = takenCount_.load(std::memory_order_acquire);
    if (static_cast<int32_t>(taken - ticket) >= 0) return;
    takenCount_.wait(taken, std::memory_order_acquire);
  }
}

void TapFeed::TakeUp(uint32_t asked) {
  // The old tap gets every loss seen until now, queued messages or not.
  if (inUse_ != nullptr) Flush();
  inUse_ = asked_.load(std::memory_order_acquire);  // acquire: see Ask
  startTold_ = -1;  // the new tap is told the start before its first message
  seenReports_ = losses_ != nullptr ? losses_->Reports() : 0;  // before the counts it covers
  seen_ = ReadLosses();                                        // the new tap counts from here
  waiting_ = false;
  takenCount_.store(asked, std::memory_order_release);  // release: pairs with WaitTaken's acquire
  takenCount_.notify_all();
}

void TapFeed::Message(uint32_t timeStamp, const uint8_t* bytes, size_t n) {
  // relaxed: the start time was published with the start of input, which the producer of this
  // message saw before its push, and the pop acquires the push.
  const int64_t start = startNs_.load(std::memory_order_relaxed);
  if (start != startTold_) {
    inUse_->InputStarted(start);
    startTold_ = start;
  }
  inUse_->Delivered(StampNs(timeStamp, start), bytes, n);
}

void TapFeed::Cut(uint32_t timeStamp) {
  CaptureEvent event;
  event.kind = CaptureKind::kCut;
  event.ns = Ns(timeStamp);
  inUse_->Lost(event);
}

void TapFeed::SysexDropped(uint32_t timeStamp, size_t bytes) {
  if (inUse_ == nullptr) return;
  CaptureEvent event;
  event.kind = CaptureKind::kDropSysexBytes;
  event.ns = Ns(timeStamp);  // the time of the message the bytes came with
  event.count = bytes;
  inUse_->Lost(event);
}

void TapFeed::Flush() {
  LookForLosses();
  if (waiting_) WriteLosses();
}

TapFeed::LossCounts TapFeed::ReadLosses() const {
  LossCounts counts;
  counts.dropped = queue_.Dropped();
  if (losses_ != nullptr) {
    for (size_t i = 0; i < kSystemLossKinds; ++i) {
      const LossTally tally = losses_->Read(static_cast<SystemLoss>(i));
      counts.events[i] = tally.events;
      counts.uncounted[i] = tally.uncounted;
    }
  }
  return counts;
}

void TapFeed::ReadNewLosses(uint64_t reports) {
  seenReports_ = reports;  // read before the counts, so they hold at least these reports
  const LossCounts now = ReadLosses();
  if (now == seen_) return;
  before_ = seen_;
  seen_ = now;
  waiting_ = true;
  const uint64_t queued = queue_.Used();
  cut_ = taken_ + queued;
  // On the grid of the messages' stamps, so that a loss seen after a message is never stamped
  // before it.
  const int64_t start = startNs_.load(std::memory_order_relaxed);  // relaxed: as in Message
  lossNs_ = StampNs(StampMs(MonotonicNs(), start), start);
  if (queued == 0) WriteLosses();
}

void TapFeed::WriteLosses() {
  waiting_ = false;
  CaptureEvent event;
  event.ns = lossNs_;
  if (seen_.dropped != before_.dropped) {
    event.kind = CaptureKind::kDropMessages;
    event.count = seen_.dropped - before_.dropped;
    inUse_->Lost(event);
  }
  event.kind = CaptureKind::kLoss;
  for (size_t i = 0; i < kSystemLossKinds; ++i) {
    event.loss = static_cast<SystemLoss>(i);
    event.counted = true;
    event.count = seen_.events[i] - before_.events[i];
    if (event.count != 0) inUse_->Lost(event);
    // One line for each report without a count (an xrun, an overrun): each is an occurrence.
    event.counted = false;
    event.count = 0;
    for (uint64_t k = before_.uncounted[i]; k != seen_.uncounted[i]; ++k) inUse_->Lost(event);
  }
}

int64_t TapFeed::Ns(uint32_t timeStamp) const {
  return StampNs(timeStamp, startNs_.load(std::memory_order_relaxed));  // relaxed: see Message
}

}  // namespace tessaly
