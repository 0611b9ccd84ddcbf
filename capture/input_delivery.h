#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>

#include "capture/capture_tap.h"
#include "capture/delivery_gate.h"
#include "capture/midi_input_service.h"
#include "capture/midi_stream_parser.h"
#include "capture/raw_message_queue.h"
#include "capture/system_losses.h"

// InputDelivery: the part of the MIDI input service between one open port and the input
// callback. Whatever delivers MIDI (the ALSA reader thread, the JACK process thread, the demo
// device) hands each message to Receive, which stamps it and queues a copy without locking or
// waiting. The service's input thread, owned here, takes the messages in arrival order, parses
// them and calls the callback: MIM_DATA and MIM_ERROR for short messages, and the queued
// receive buffer, filled in chunks, back as MIM_LONGDATA when it is full or its message ended
// (MIM_LONGERROR when a status byte cut the message off, or its sender went away). Sysex bytes that
// arrive while no buffer is queued are dropped.
//
// Every callback call is made on the input thread, so calls never overlap: Reset hands its
// work to that thread and waits for it. No lock is held while the callback runs, and the
// calls the callback may make (AddBuffer, BufferQueued) only touch atomics.
//
// Flow control: before each callback call the input thread asks the delivery gate, when one is
// set, whether the consumer has room; while it has none the thread holds back, sleeping in
// short steps, so that the burst waits in the raw queue (which the producer never waits on: a
// message that does not fit there is dropped and counted). The wait is bounded: once the raw
// queue is half full, or after kHoldBackLimit, the call is made anyway, and calls go on without
// waiting until the gate shows room again, so a consumer that stopped draining cannot stall the
// service; its own overrun accounting reports what is lost then. Reset and Shutdown end a wait at
// once.
//
// Time stamps: milliseconds since StartInput, read from the monotonic clock when the message
// is received, or given by the source (ReceiveAt: the ALSA sequencer's stamp of arrival, so that
// events read late in a burst keep their own times).
namespace tessaly {

class InputDelivery {
 public:
  InputDelivery(MidiInHandle handle, MidiInputProc callback, uintptr_t instance);
  ~InputDelivery();
  InputDelivery(const InputDelivery&) = delete;
  InputDelivery& operator=(const InputDelivery&) = delete;

  // Wait for room before a callback call is made anyway (see above), and the step of the wait.
  static constexpr std::chrono::milliseconds kHoldBackLimit{500};
  static constexpr std::chrono::microseconds kHoldBackStep{50};

  // Counts for reports and tests; each only grows.
  struct Counts {
    uint64_t messagesDropped = 0;    // raw queue full (or message too long)
    uint64_t sysexBytesDropped = 0;  // no receive buffer queued
    uint64_t heldBack = 0;           // callback calls that waited for room
    uint64_t gaveUp = 0;             // waits that ended without room
    // Filled by the service, over every port: losses the MIDI system reported, and those of
    // them it gave no count for (their events are in none of the counts above).
    uint64_t lossReports = 0;
    uint64_t lossesUncounted = 0;
  };

  // Window thread: starts the input thread. False when no thread could be made.
  bool Launch();
  // Window thread: ends the input thread. Once it returns, the callback is not called from
  // here any more; messages still queued are dropped.
  void Shutdown();

  // --- producer: one thread at a time ---
  // Takes one message as the MIDI system delivered it (the bytes are copied). Dropped unless
  // input is started. Never locks, waits or allocates.
  void Receive(const uint8_t* bytes, size_t n);
  // The same, for a message whose arrival the MIDI system stamped itself (the ALSA
  // sequencer's real-time stamp, mapped to the monotonic clock): events read late in a burst
  // keep their times. `monotonicNs` on the clock of NowNs. True when the message was queued.
  bool ReceiveAt(const uint8_t* bytes, size_t n, int64_t monotonicNs);
  // The same, but the input thread is not woken for it until the producer calls Deliver: a
  // source that reads a burst (the ALSA reader) or is handed a batch at once (a JACK cycle's
  // events) hands it over with one wake-up, not one per message.
  void ReceiveAtLater(const uint8_t* bytes, size_t n, int64_t monotonicNs);
  void Deliver() { Wake(); }
  // The sender of an open sysex message went away (its port or client gone, its connection
  // ended): the message ends there, cut short, as MIM_LONGERROR, in order with the messages
  // received before and after. Nothing happens when no sysex message is open. Never locks,
  // waits or allocates.
  void CloseSysex();
  // The same at a time of its own (a replayed cut, at its recorded time, as ReceiveAt). True
  // when queued.
  bool CloseSysexAt(int64_t monotonicNs);
  // The monotonic clock the time stamps count on, in nanoseconds. Any thread.
  static int64_t NowNs();

  // --- a producer that may wait (a file, not a device) ---
  // Bytes waiting in the raw queue, and messages the input thread has taken and delivered
  // through the callback: what a file replay waits on so that it never overfills the queue.
  uint64_t QueuedBytes() const { return queue_.Used(); }
  // When input last started, on the clock of NowNs (a stamp of ReceiveAt counts from there).
  int64_t StartNs() const {
    return startNs_.load(std::memory_order_relaxed);  // published with started_, read after it
  }
  uint64_t Delivered() const { return delivered_.load(std::memory_order_acquire); }
  // Window thread (or the producer, before input starts): the wait for room, for a producer
  // that waits for the monitor and loses nothing.
  void SetHoldBackLimit(std::chrono::milliseconds limit) {
    holdBackLimitMs_.store(limit.count(), std::memory_order_relaxed);  // a setting only
  }
  // Asks the gate's consumer for an early drain (DeliveryGate::AskForDrain).
  void AskForDrain() const {
    // acquire: pairs with the release in SetGate; the gate object is complete.
    if (const DeliveryGate* gate = gate_.load(std::memory_order_acquire)) gate->AskForDrain();
  }
  // Drops counted elsewhere (a replayed recording's), added to the counts below.
  void CountDropped(uint64_t messages, uint64_t sysexBytes) {
    // relaxed, both: counts only.
    lostBelow_.fetch_add(messages, std::memory_order_relaxed);
    sysexDropped_.fetch_add(sysexBytes, std::memory_order_relaxed);
  }

  // --- window thread ---
  // The consumer's room (null: none); it must outlive the input thread or be replaced first.
  // `limit`: the wait for room (tests choose theirs).
  void SetGate(const DeliveryGate* gate, std::chrono::milliseconds limit = kHoldBackLimit) {
    holdBackLimitMs_.store(limit.count(), std::memory_order_relaxed);  // published below
    // release: the gate is fully built before the input thread can call it (pairs with the
    // acquire in HoldBack).
    gate_.store(gate, std::memory_order_release);
  }
  void StartInput();
  void StopInput();
  // Stops input, delivers what was received before, and returns the queued buffer through
  // the callback (bytes recorded so far, possibly 0) before it returns.
  void Reset();
  uint32_t ElapsedMs() const;

  // --- window thread or the callback ---
  // Queues `header` (prepared, with data and length checked by the caller). kStillPlaying
  // when a buffer is queued already.
  MidiResult AddBuffer(ReceiveHeader* header);
  bool BufferQueued() const { return queued_.load(std::memory_order_acquire) != nullptr; }
  bool IsQueued(const ReceiveHeader* header) const {
    return queued_.load(std::memory_order_acquire) == header;
  }

  MidiInHandle handle() const { return handle_; }
  MidiInputProc callback() const { return callback_; }
  uintptr_t instance() const { return instance_; }
  bool started() const { return started_.load(std::memory_order_acquire); }
  // Window thread, before Launch: where the MIDI system's own losses are shown from (null:
  // counted only, as below).
  void SetLosses(SystemLosses* losses) { losses_ = losses; }
  // Window thread: where a copy of every message goes as the input thread takes it (null: none),
  // with the losses it sees (see TakeReceived). While the input thread runs it is handed over:
  // SetTap waits until that thread has let go of the old tap (after giving it the losses seen
  // so far), so the old one can be stopped, and a tap has one producer at a time.
  void SetTap(CaptureTap* tap);
  // A loss the MIDI system reported (see SystemLosses): `events` it gave a count for are also
  // counted as dropped messages. The source's threads; never locks, waits or allocates.
  void ReportLoss(SystemLoss kind, uint64_t events, bool counted = true) {
    if (counted) lostBelow_.fetch_add(events, std::memory_order_relaxed);  // relaxed: a count
    if (losses_ != nullptr) losses_->Report(kind, events, counted);
  }
  uint64_t MessagesDropped() const {
    // relaxed: counts only.
    return queue_.Dropped() + lostBelow_.load(std::memory_order_relaxed);
  }
  uint64_t SysexBytesDropped() const { return sysexDropped_.load(std::memory_order_relaxed); }
  Counts counts() const {
    // relaxed, each: counts only.
    return {MessagesDropped(), SysexBytesDropped(), heldBack_.load(std::memory_order_relaxed),
            gaveUp_.load(std::memory_order_relaxed)};
  }

 private:
  class Sink;

  void Run();
  void TakeReceived();
  void ResetOnInputThread();
  // Input thread (or the window thread while none runs), with a tap: see TakeReceived.
  void FollowTap();
  void LookForLosses();
  void WriteLosses();
  int64_t SeenNs() const;
  void WriteSysexDrop(size_t bytes, uint32_t timeStamp);
  void Wake();
  // Input thread: waits until the wake count moves on from `seen`.
  void Sleep(uint32_t seen);
  // `n` 0: the mark of CloseSysex. `wake`: the input thread is woken for it. True when queued.
  bool Push(const uint8_t* bytes, size_t n, int64_t monotonicNs, bool wake = true);
  void Call(uint32_t kind, uintptr_t param1, uint32_t timeStamp);
  // Input thread: waits (bounded) until the gate shows room; see the class comment.
  void HoldBack();
  bool Interrupted() const;
  // Input thread only: the queued buffer, and the chunk handling.
  ReceiveHeader* CurrentBuffer();
  void ReturnBuffer(uint32_t kind, uint32_t timeStamp);
  void StoreSysex(const uint8_t* bytes, size_t n, bool ends, uint32_t timeStamp);

  const MidiInHandle handle_;
  const MidiInputProc callback_;
  const uintptr_t instance_;

  RawMessageQueue queue_;
  // Input thread only.
  MidiStreamParser parser_;
  std::unique_ptr<uint8_t[]> message_;  // the message being parsed
  ReceiveHeader* filling_ = nullptr;    // the buffer bytes go into, once taken from queued_
  uint32_t filled_ = 0;
  bool holdBack_ = false;       // delivering from the raw queue (not for a reset)
  bool inCallback_ = false;     // a call from inside the callback never waits
  bool gaveUpWaiting_ = false;  // until the gate shows room again

  std::atomic<const DeliveryGate*> gate_{nullptr};
  std::atomic<int64_t> holdBackLimitMs_{kHoldBackLimit.count()};
  std::atomic<uint64_t> heldBack_{0};
  std::atomic<uint64_t> gaveUp_{0};

  std::atomic<ReceiveHeader*> queued_{nullptr};
  std::atomic<bool> started_{false};
  std::atomic<int64_t> startNs_{0};
  // Producers inside Receive; lets Reset know that no message is still on its way in.
  std::atomic<uint32_t> producing_{0};
  std::atomic<uint32_t> wake_{0};
  // The wake count at which the input thread last went to sleep (or is about to): the Wake
  // that moves the count on from there must notify it.
  std::atomic<uint32_t> sleepingAt_{0};
  std::atomic<uint32_t> resetRequested_{0};
  std::atomic<uint32_t> resetDone_{0};
  std::atomic<bool> quit_{false};
  std::atomic<uint64_t> sysexDropped_{0};
  std::atomic<uint64_t> lostBelow_{0};
  std::atomic<uint64_t> delivered_{0};
  SystemLosses* losses_ = nullptr;  // set before Launch, read by the sources' threads after
  // The tap: asked for by the window thread (tapAsked_ counts the requests), taken up by the
  // input thread (tapTaken_), used there as tapInUse_.
  std::atomic<CaptureTap*> tap_{nullptr};
  std::atomic<uint32_t> tapAsked_{0};
  std::atomic<uint32_t> tapTaken_{0};
  CaptureTap* tapInUse_ = nullptr;
  int64_t tapStartTold_ = -1;  // the start of input tapInUse_ was last told of
  // Input thread, with a tap: the losses seen so far, and those seen but not yet written (they
  // wait for the messages that were queued when they were seen, see TakeReceived).
  struct LossCounts {
    uint64_t dropped = 0;  // the raw queue's, not those the MIDI system reported
    uint64_t events[kSystemLossKinds] = {};
    uint64_t uncounted[kSystemLossKinds] = {};
    bool operator==(const LossCounts&) const = default;
  };
  LossCounts ReadLosses() const;
  LossCounts lossesSeen_;
  LossCounts lossesBefore_;  // of the losses waiting: the counts before them
  bool lossWaiting_ = false;
  uint64_t lossCut_ = 0;  // written once taken_ reaches this
  int64_t lossNs_ = 0;
  uint64_t taken_ = 0;  // bytes taken from the raw queue, as Used counts them
  std::thread thread_;
};

}  // namespace tessaly
