#include "capture/rtmidi_input_service.h"

#include <memory>
#include <vector>

#include "capture/demo_device.h"
#include "capture/jack_backend.h"
#include "capture/rtmidi_backend.h"

namespace tessaly {
namespace {

std::vector<std::unique_ptr<PortBackend>> Backends() {
  std::vector<std::unique_ptr<PortBackend>> backends;
  backends.push_back(std::make_unique<RtMidiBackend>());
  backends.push_back(std::make_unique<JackBackend>());
  backends.push_back(std::make_unique<DemoBackend>());
  return backends;
}

}  // namespace

RtMidiInputService::RtMidiInputService() : QueuedInputService(Backends()) {}

}  // namespace tessaly
