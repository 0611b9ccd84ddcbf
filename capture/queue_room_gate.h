#pragma once

#include <atomic>
#include <cstdint>

#include "capture/delivery_gate.h"
#include "capture/drain_wake.h"
#include "capture/event_ring.h"
#include "capture/midi_input_service.h"
#include "capture/queue_marks.h"
#include "capture/sysex_queue.h"

// The delivery gate the monitor offers its service: room while both queues the callback fills
// are below their hold marks, and an early drain through the drain wake when asked. It offers
// itself to the service when made and takes that back at its end, so it must be made after the
// queues and end before them.
namespace tessaly {

class QueueRoomGate final : public DeliveryGate {
 public:
  QueueRoomGate(MidiInputService& service, const EventRing& eventRing, const SysexQ& sysexQ,
                DrainWake& drainWake)
      : service_(service), eventRing_(eventRing), sysexQ_(sysexQ), drainWake_(drainWake) {
    service_.SetDeliveryGate(this);
  }
  ~QueueRoomGate() { service_.SetDeliveryGate(nullptr); }
  QueueRoomGate(const QueueRoomGate&) = delete;
  QueueRoomGate& operator=(const QueueRoomGate&) = delete;

  // The service's input thread, which is also the thread that runs the callback, so the write
  // indices are its own (relaxed). The read indices: relaxed too, a fill estimate only; a
  // stale one makes the service wait a little longer, never lose or reorder anything.
  bool HasRoom() const override {
    const uint64_t events = eventRing_.writeIndex.load(std::memory_order_relaxed) -
                            eventRing_.readIndex.load(std::memory_order_relaxed);
    const uint64_t bytes = sysexQ_.writeIndex.load(std::memory_order_relaxed) -
                           sysexQ_.readIndex.load(std::memory_order_relaxed);
    return events < kEventRingHoldMark && bytes < kSysexQHoldMark;
  }
  void AskForDrain() const override { drainWake_.Signal(); }

 private:
  MidiInputService& service_;
  const EventRing& eventRing_;
  const SysexQ& sysexQ_;
  DrainWake& drainWake_;
};

}  // namespace tessaly
