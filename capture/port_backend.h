#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "capture/input_delivery.h"
#include "capture/midi_result.h"

// What a QueuedInputService is built from: backends that list input ports and open one of
// them as an InputSource feeding an InputDelivery. Window thread only.
namespace tessaly {

// One open port, producing into its InputDelivery from a thread of its own.
class InputSource {
 public:
  // Once the destructor has returned, the source never calls Receive again.
  virtual ~InputSource() = default;
  // What the source can say about itself now: kNoError, or why input cannot arrive
  // (kSourceGone, kServerGone).
  virtual MidiResult Health() { return kNoError; }
};

// Where a port stands in the list the user steps through. The service lists every backend's
// ports by group, in this order, and in each group in the backends' own order: devices first,
// so that port 0, which opens at start, is the first device the user plugged in.
enum class PortGroup : uint8_t {
  kDevice,    // hardware (the kernel's clients), a USB device among them
  kProgram,   // other programs' ports
  kBridged,   // a device seen again through another MIDI system (PipeWire's JACK bridge)
  kLoopback,  // ports that carry nothing of their own ("Midi Through")
  kFile,      // a capture file replayed (--replay)
  kOwn,       // our own virtual input ports
  kDemo,      // the built-in demo device
};

// Our own virtual input port, on each MIDI system that has one.
inline constexpr const char* kVirtualPortName = "Tessaly MIDI In";

struct PortListing {
  std::string name;  // what the user sees
  PortGroup group;
};

class PortBackend {
 public:
  virtual ~PortBackend() = default;
  // This backend's ports as they are now, in its order.
  virtual std::vector<PortListing> ListPorts() = 0;
  // Opens port `index` of the latest ListPorts, feeding `delivery`. Sets `source` on success.
  virtual MidiResult Open(size_t index, InputDelivery& delivery,
                          std::unique_ptr<InputSource>& source) = 0;
  // A count that moves on whenever this backend's ports may have changed (0 for ever: a
  // backend that cannot tell). Cheap, for the window thread's every tick; any thread.
  virtual uint64_t PortsChanged() { return 0; }
  // A line for MessageBoxList that the backend has to say (a file it replays is malformed),
  // oldest first; false when there is none. Window thread.
  virtual bool TakeNotice(std::string& line) {
    (void)line;
    return false;
  }
};

}  // namespace tessaly
