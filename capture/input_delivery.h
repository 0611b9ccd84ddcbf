#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>

#include "capture/capture_tap.h"
#include "capture/delivery_gate.h"
#include "capture/hold_back.h"
#include "capture/input_wake.h"
#include "capture/midi_input_service.h"
#include "capture/midi_stream_parser.h"
#include "capture/raw_message_queue.h"
#include "capture/receive_buffer_fill.h"
#include "capture/system_losses.h"
#include "capture/tap_feed.h"

// InputDelivery: the delivery loop of the MIDI input service, between one open port and the
// input callback. Whatever delivers MIDI (the ALSA reader thread, the JACK process thread, the
// demo device, a file replay) hands each message to Receive, which stamps it and queues a copy
// in the raw queue without locking or waiting, and wakes the input thread (InputWake). That
// thread, owned here, takes the messages in arrival order, parses them (MidiStreamParser) and
// calls the callback: MIM_DATA and MIM_ERROR for short messages, and the lent receive buffer
// (ReceiveBufferFill), back as MIM_LONGDATA when it is full or its message ended (MIM_LONGERROR
// when a status byte cut the message off, or its sender went away). Sysex bytes that arrive
// while no buffer is lent are dropped. Before each call it waits for the consumer's room
// (HoldBack), and hands the recorder what it took (TapFeed).
//
// Every callback call is made on the input thread, so calls never overlap: Reset hands its
// work to that thread and waits for it. No lock is held while the callback runs, and the
// calls the callback may make (AddBuffer, BufferQueued) only touch atomics.
//
// Time stamps (input_clock.h): milliseconds since StartInput, read from the monotonic clock
// when the message is received, or given by the source (ReceiveAt: the ALSA sequencer's stamp
// of arrival, so that events read late in a burst keep their own times).
namespace tessaly {

class InputDelivery {
 public:
  InputDelivery(MidiInHandle handle, MidiInputProc callback, uintptr_t instance);
  ~InputDelivery();
  InputDelivery(const InputDelivery&) = delete;
  InputDelivery& operator=(const InputDelivery&) = delete;

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
  void Deliver() { wake_.Wake(); }
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
  void SetHoldBackLimit(std::chrono::milliseconds limit) { holdBack_.SetLimit(limit); }
  // Asks the gate's consumer for an early drain (DeliveryGate::AskForDrain).
  void AskForDrain() const { holdBack_.AskForDrain(); }
  // Drops counted elsewhere (a replayed recording's), added to the counts below.
  void CountDropped(uint64_t messages, uint64_t sysexBytes) {
    // relaxed, both: counts only.
    lostBelow_.fetch_add(messages, std::memory_order_relaxed);
    sysexDropped_.fetch_add(sysexBytes, std::memory_order_relaxed);
  }

  // --- window thread ---
  // The consumer's room (null: none); it must outlive the input thread or be replaced first.
  // `limit`: the wait for room (tests choose theirs).
  void SetGate(const DeliveryGate* gate, std::chrono::milliseconds limit = HoldBack::kLimit) {
    holdBack_.SetGate(gate, limit);
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
  MidiResult AddBuffer(ReceiveHeader* header) { return buffer_.Lend(header); }
  bool BufferQueued() const { return buffer_.Lent(); }
  bool IsQueued(const ReceiveHeader* header) const { return buffer_.IsLent(header); }

  MidiInHandle handle() const { return handle_; }
  MidiInputProc callback() const { return callback_; }
  uintptr_t instance() const { return instance_; }
  // acquire: pairs with the seq_cst store in StartInput.
  bool started() const { return started_.load(std::memory_order_acquire); }
  // Window thread, before Launch: where the MIDI system's own losses are shown from (null:
  // counted only, as below).
  void SetLosses(SystemLosses* losses) {
    losses_ = losses;
    tapFeed_.SetLosses(losses);
  }
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
  uint64_t SysexBytesDropped() const {
    return sysexDropped_.load(std::memory_order_relaxed);  // relaxed: a count
  }
  Counts counts() const {
    // relaxed, each: counts only.
    return {MessagesDropped(), SysexBytesDropped(), holdBack_.HeldBack(), holdBack_.GaveUp()};
  }

 private:
  class Sink;

  void Run();
  void TakeReceived();
  void ResetOnInputThread();
  // `n` 0: the mark of CloseSysex. `wake`: the input thread is woken for it. True when queued.
  bool Push(const uint8_t* bytes, size_t n, int64_t monotonicNs, bool wake = true);
  void Call(uint32_t kind, uintptr_t param1, uint32_t timeStamp);
  bool Interrupted() const;
  // Input thread only: the lent buffer handed back, and sysex bytes stored into it.
  void ReturnBuffer(uint32_t kind, uint32_t timeStamp);
  void StoreSysex(const uint8_t* bytes, size_t n, bool ends, uint32_t timeStamp);
  void DropSysex(size_t bytes, uint32_t timeStamp);

  const MidiInHandle handle_;
  const MidiInputProc callback_;
  const uintptr_t instance_;

  RawMessageQueue queue_;
  // Input thread only.
  MidiStreamParser parser_;
  std::unique_ptr<uint8_t[]> message_;  // the message being parsed
  bool holding_ = false;     // delivering from the raw queue (not for a reset): calls hold back
  bool inCallback_ = false;  // a call from inside the callback never waits
  HoldBack holdBack_;
  ReceiveBufferFill buffer_;

  // What a producer writes or reads for each message, on a cache line apart from what the
  // input thread writes for each message (which would otherwise bounce between the two).
  alignas(64) std::atomic<bool> started_{false};
  std::atomic<int64_t> startNs_{0};
  // Producers inside Receive; lets Reset know that no message is still on its way in.
  std::atomic<uint32_t> producing_{0};
  InputWake wake_;

  alignas(64) std::atomic<uint32_t> resetRequested_{0};
  std::atomic<uint32_t> resetDone_{0};
  std::atomic<bool> quit_{false};
  std::atomic<uint64_t> sysexDropped_{0};
  std::atomic<uint64_t> lostBelow_{0};
  std::atomic<uint64_t> delivered_{0};
  SystemLosses* losses_ = nullptr;  // set before Launch, read by the sources' threads after
  TapFeed tapFeed_{queue_, startNs_};
  std::thread thread_;
};

}  // namespace tessaly
