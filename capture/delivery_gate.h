#pragma once

// DeliveryGate: lets the MIDI input service ask whether the consumer of its callback has room
// for more input. The service's input thread (not the driver thread) asks before each callback
// call and holds back for a bounded time while the answer is no, so that a burst waits in the
// service's raw queue instead of lapping the consumer's fixed-size queues. The driver thread
// never asks and never waits. Toolkit-free; the monitor's is QueueRoomGate.
namespace tessaly {

class DeliveryGate {
 public:
  // The service's input thread, any number of times: true when one more callback call (one
  // event, at most one receive buffer of bytes) fits without overwriting unread input.
  virtual bool HasRoom() const = 0;
  // Any thread but the driver's: asks the consumer to drain soon (a replayed file that waits for
  // its notice to be shown). Nothing, for a consumer that cannot be asked.
  virtual void AskForDrain() const {}

 protected:
  ~DeliveryGate() = default;
};

}  // namespace tessaly
