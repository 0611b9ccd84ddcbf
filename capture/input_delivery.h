#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>

#include "capture/midi_input_service.h"
#include "capture/midi_stream_parser.h"
#include "capture/raw_message_queue.h"

// InputDelivery: the part of the MIDI input service between one open port and the input
// callback. Whatever delivers MIDI (RtMidi's thread, the JACK process thread, the demo
// device) hands each message to Receive, which stamps it and queues a copy without locking or
// waiting. The service's input thread, owned here, takes the messages in arrival order, parses
// them and calls the callback: MIM_DATA and MIM_ERROR for short messages, and the queued
// receive buffer, filled in chunks, back as MIM_LONGDATA when it is full or its message ended
// (MIM_LONGERROR when a status byte cut the message off). Sysex bytes that arrive while no
// buffer is queued are dropped.
//
// Every callback call is made on the input thread, so calls never overlap: Reset hands its
// work to that thread and waits for it. No lock is held while the callback runs, and the
// calls the callback may make (AddBuffer, BufferQueued) only touch atomics.
//
// Time stamps: milliseconds since StartInput, read from the monotonic clock when the message
// is received (RtMidi's own stamps are deltas from the previous message, so they cannot say
// how long after the start a message came).
namespace tessaly {

class InputDelivery {
 public:
  InputDelivery(MidiInHandle handle, MidiInputProc callback, uintptr_t instance);
  ~InputDelivery();
  InputDelivery(const InputDelivery&) = delete;
  InputDelivery& operator=(const InputDelivery&) = delete;

  // Window thread: starts the input thread. False when no thread could be made.
  bool Launch();
  // Window thread: ends the input thread. Once it returns, the callback is not called from
  // here any more; messages still queued are dropped.
  void Shutdown();

  // --- producer: one thread at a time ---
  // Takes one message as the MIDI system delivered it (the bytes are copied). Dropped unless
  // input is started. Never locks, waits or allocates.
  void Receive(const uint8_t* bytes, size_t n);

  // --- window thread ---
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
  // Counts for reports and tests.
  uint64_t MessagesDropped() const { return queue_.Dropped(); }
  uint64_t SysexBytesDropped() const { return sysexDropped_.load(std::memory_order_relaxed); }

 private:
  class Sink;

  void Run();
  void TakeReceived();
  void ResetOnInputThread();
  void Wake();
  void Call(uint32_t kind, uintptr_t param1, uint32_t timeStamp);
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

  std::atomic<ReceiveHeader*> queued_{nullptr};
  std::atomic<bool> started_{false};
  std::atomic<int64_t> startNs_{0};
  // Producers inside Receive; lets Reset know that no message is still on its way in.
  std::atomic<uint32_t> producing_{0};
  std::atomic<uint32_t> wake_{0};
  std::atomic<uint32_t> resetRequested_{0};
  std::atomic<uint32_t> resetDone_{0};
  std::atomic<bool> quit_{false};
  std::atomic<uint64_t> sysexDropped_{0};
  std::thread thread_;
};

}  // namespace tessaly
