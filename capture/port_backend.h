#pragma once

#include <cstddef>
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

class PortBackend {
 public:
  virtual ~PortBackend() = default;
  // This backend's ports as they are now, in order; the names are what the user sees.
  virtual std::vector<std::string> ListPorts() = 0;
  // Opens port `index` of the latest ListPorts, feeding `delivery`. Sets `source` on success.
  virtual MidiResult Open(size_t index, InputDelivery& delivery,
                          std::unique_ptr<InputSource>& source) = 0;
};

}  // namespace tessaly
