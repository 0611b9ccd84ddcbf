#pragma once

#include <atomic>
#include <cstdint>

#include "capture/drain_wake.h"
#include "capture/event_ring.h"
#include "capture/midi_input_service.h"
#include "capture/queue_room_gate.h"
#include "capture/status_counters.h"
#include "capture/sysex_queue.h"

// Everything the driver thread and the window thread share, in one object per process (tests
// make fresh ones). It is handed to the input callback as the instance value.
namespace tessaly {

// The receive buffer is 64 bytes as far as the service is told; more is reserved so that a
// service that reports more bytes than it was lent can never make the callback read past it.
inline constexpr uint32_t kReceiveBufferLength = 64;
inline constexpr uint32_t kReceiveBufferReserve = 8192;

struct CaptureState {
  explicit CaptureState(MidiInputService& midiService) : service(midiService) {}
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
  // Last: made after the queues it watches and ended before them (it is offered to the
  // service for as long as it lives).
  QueueRoomGate gate{service, eventRing, sysexQ, drainWake};
};

}  // namespace tessaly
