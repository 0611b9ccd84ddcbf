#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "capture/capture_log_format.h"

// Where the service hands a copy of what an open port delivers (the recorder). Delivered and Lost
// come from the service's input thread only, Delivered before the message is parsed, and must
// never lock, wait or allocate; PortOpened from the window thread, before the tap is handed to
// the input thread (so the two never push at once).
namespace tessaly {

class CaptureTap {
 public:
  virtual ~CaptureTap() = default;
  // `ns`: the message's arrival on the monotonic clock, as the service stamped it.
  virtual void Delivered(int64_t ns, const uint8_t* bytes, size_t n) = 0;
  virtual void PortOpened(std::string_view name) = 0;
  // Input thread, before the first message after each start of input: `startNs` is the time
  // the messages' stamps count from (the port's line in a recording stands there, so that a
  // replay counts its times from the same point).
  virtual void InputStarted(int64_t startNs) { (void)startNs; }
  // A loss as the input thread saw it, in order with the messages: `event.kind` is
  // kDropMessages, kDropSysexBytes or kLoss (with `count`, `counted`, `loss`; no bytes); or
  // kCut, the mark of InputDelivery::CloseSysex (nothing but its time).
  virtual void Lost(const CaptureEvent& event) = 0;
};

}  // namespace tessaly
