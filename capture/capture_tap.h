#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// Where the service hands a copy of what an open port delivers (the recorder). Delivered comes
// from the service's input thread only, before the message is parsed, and must never lock,
// wait or allocate; PortOpened from the window thread.
namespace tessaly {

class CaptureTap {
 public:
  virtual ~CaptureTap() = default;
  // `ns`: the message's arrival on the monotonic clock, as the service stamped it.
  virtual void Delivered(int64_t ns, const uint8_t* bytes, size_t n) = 0;
  virtual void PortOpened(std::string_view name) = 0;
};

}  // namespace tessaly
