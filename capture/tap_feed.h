#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "capture/capture_tap.h"
#include "capture/raw_message_queue.h"
#include "capture/system_losses.h"

// TapFeed: what the service's input thread tells the capture tap (the recorder), in order with
// the messages: each message as it is taken, the cut of a sysex whose sender went away, and the
// losses. A message the raw queue had no room for is counted by the producer, and the MIDI
// system's reports (SystemLosses) by the sources' threads, so the input thread looks at those
// counts before it takes each message. What it finds there was lost after every message still
// queued at that moment had arrived (the queue was full, or the report came after them), so it
// is written once those messages are taken, with the time it was seen. Sysex bytes that find no
// buffer are dropped on the input thread, and written as they are. A loss reported while no
// message comes is seen with the next one, when the tap is handed over, or when the port closes.
//
// The tap is handed over from the window thread (Ask, then wait for Taken to reach the ticket)
// to the input thread (Follow), so that a tap has one producer at a time. Everything else is the
// input thread's (or the window thread's while no input thread runs), and never locks, waits or
// allocates.
namespace tessaly {

class TapFeed {
 public:
  // `startNs`: when input last started, on the monotonic clock (the messages' stamps count
  // from there).
  TapFeed(const RawMessageQueue& queue, const std::atomic<int64_t>& startNs)
      : queue_(queue), startNs_(startNs) {}

  // Window thread, before the input thread runs: the MIDI system's losses (null: none).
  void SetLosses(const SystemLosses* losses) { losses_ = losses; }

  // --- window thread ---
  // Asks for `tap` (null: none); returns the ticket that Taken reaches once it is taken up.
  uint32_t Ask(CaptureTap* tap);
  // Waits until the input thread has taken up the request of `ticket`.
  void WaitTaken(uint32_t ticket);

  // --- input thread ---
  // Takes up the tap asked for, if a new one was; the old one gets every loss seen until now.
  // Before each message: inline, as it costs two loads when nothing was asked.
  void Follow() {
    // acquire: pairs with the release in Ask.
    const uint32_t asked = askedCount_.load(std::memory_order_acquire);
    // relaxed: written by this thread only (or by the window thread while none runs).
    if (asked != takenCount_.load(std::memory_order_relaxed)) TakeUp(asked);
  }
  bool Active() const { return inUse_ != nullptr; }
  // Before each message is taken (with a tap): looks for new losses. Inline: two loads while
  // nothing is lost; the counts are read only once a report or a drop came.
  void LookForLosses() {
    if (waiting_) return;  // one wait at a time: what comes meanwhile is seen once it is written
    const uint64_t reports = losses_ != nullptr ? losses_->Reports() : 0;
    if (reports != seenReports_ || queue_.Dropped() != seen_.dropped) ReadNewLosses(reports);
  }
  // A record of `bytes` (header included) taken from the raw queue.
  void Took(size_t bytes) { taken_ += bytes; }
  // The message taken, stamped `timeStamp` ms after the start, before it is parsed.
  void Message(uint32_t timeStamp, const uint8_t* bytes, size_t n);
  // CloseSysex's mark, taken at `timeStamp`: the sender went away.
  void Cut(uint32_t timeStamp);
  // After each record: writes the losses that waited for it.
  void AfterRecord() {
    if (waiting_ && taken_ >= cut_) WriteLosses();
  }
  // Sysex bytes dropped for want of a buffer, with the message taken at `timeStamp`.
  void SysexDropped(uint32_t timeStamp, size_t bytes);
  // The port is closing (or the tap is handed over): every loss seen until now is written.
  void Flush();

 private:
  struct LossCounts {
    uint64_t dropped = 0;  // the raw queue's, not those the MIDI system reported
    uint64_t events[kSystemLossKinds] = {};
    uint64_t uncounted[kSystemLossKinds] = {};
    bool operator==(const LossCounts&) const = default;
  };
  void TakeUp(uint32_t asked);
  LossCounts ReadLosses() const;
  // Something moved: `reports` (SystemLosses::Reports, read before the counts) or the drops.
  void ReadNewLosses(uint64_t reports);
  void WriteLosses();
  // A stamp of the input thread's as a time on the monotonic clock.
  int64_t Ns(uint32_t timeStamp) const;

  const RawMessageQueue& queue_;
  const std::atomic<int64_t>& startNs_;
  const SystemLosses* losses_ = nullptr;
  // The tap: asked for by the window thread (askedCount_ counts the requests), taken up by the
  // input thread (takenCount_), used there as inUse_.
  std::atomic<CaptureTap*> asked_{nullptr};
  std::atomic<uint32_t> askedCount_{0};
  std::atomic<uint32_t> takenCount_{0};
  CaptureTap* inUse_ = nullptr;
  int64_t startTold_ = -1;  // the start of input inUse_ was last told of
  // The losses seen so far, and those seen but not yet written (they wait for the messages that
  // were queued when they were seen).
  LossCounts seen_;
  uint64_t seenReports_ = 0;  // SystemLosses::Reports when seen_ was read
  LossCounts before_;         // of the losses waiting: the counts before them
  bool waiting_ = false;
  uint64_t cut_ = 0;  // written once taken_ reaches this
  int64_t lossNs_ = 0;
  uint64_t taken_ = 0;  // bytes taken from the raw queue, as Used counts them
};

}  // namespace tessaly
