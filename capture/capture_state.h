#pragma once

#include <atomic>
#include <cstdint>

#include "capture/delivery_gate.h"
#include "capture/drain_wake.h"
#include "capture/event_ring.h"
#include "capture/midi_input_service.h"
#include "capture/sysex_queue.h"

// Everything the driver thread and the window thread share, in one object per process (tests
// make fresh ones). It is handed to the input callback as the instance value.
namespace tessaly {

// The receive buffer is 64 bytes as far as the service is told; more is reserved so that a
// service that reports more bytes than it was lent can never make the callback read past it.
inline constexpr uint32_t kReceiveBufferLength = 64;
inline constexpr uint32_t kReceiveBufferReserve = 8192;

// Counts per status byte. The drain counts short messages; the callback counts its calls and
// buffers in the last row (kCount* in midi_constants.h). Relaxed increments: the counts are
// for display only and order nothing.
struct StatusCounters {
  std::atomic<uint64_t> count[256] = {};

  void Add(uint8_t status, uint64_t n = 1) {
    count[status].fetch_add(n, std::memory_order_relaxed);
  }
  uint64_t Get(uint8_t status) const { return count[status].load(std::memory_order_relaxed); }
  void Clear() {
    for (auto& c : count) c.store(0, std::memory_order_relaxed);
  }
};

// Unread events and bytes from which the service's input thread holds back its callback calls
// (three quarters of each queue: above the early-drain marks, with room left for one more call).
inline constexpr uint64_t kEventRingHoldMark = 384;
inline constexpr uint64_t kSysexQHoldMark = 6144;

struct CaptureState final : DeliveryGate {
  // Offers itself to the service as its delivery gate, and takes that back at the end.
  explicit CaptureState(MidiInputService& midiService) : service(midiService) {
    service.SetDeliveryGate(this);
  }
  ~CaptureState() { service.SetDeliveryGate(nullptr); }
  CaptureState(const CaptureState&) = delete;
  CaptureState& operator=(const CaptureState&) = delete;

  MidiInputService& service;
  EventRing eventRing;
  SysexQ sysexQ;
  // Set by the window thread (a buffer release is wanted, or the sysex queue overflowed);
  // read by the callback, which clears it once it has released the buffer.
  std::atomic<uint32_t> stopRequest{0};
  StatusCounters statusCounters;
  // Asks the window thread for an early drain when a queue passes its fill mark.
  DrainWake drainWake;
  ReceiveHeader receiveHeader;
  alignas(64) uint8_t receiveBuffer[kReceiveBufferReserve] = {};

  // The service's input thread, which is also the thread that runs the callback, so the write
  // indices are its own (relaxed). The read indices: relaxed too, a fill estimate only; a
  // stale one makes the service wait a little longer, never lose or reorder anything.
  bool HasRoom() const override {
    const uint64_t events = eventRing.writeIndex.load(std::memory_order_relaxed) -
                            eventRing.readIndex.load(std::memory_order_relaxed);
    const uint64_t bytes = sysexQ.writeIndex.load(std::memory_order_relaxed) -
                           sysexQ.readIndex.load(std::memory_order_relaxed);
    return events < kEventRingHoldMark && bytes < kSysexQHoldMark;
  }
  void AskForDrain() const override {
    // The state itself is never const: the gate's view of it is.
    const_cast<DrainWake&>(drainWake).Signal();
  }
};

}  // namespace tessaly
