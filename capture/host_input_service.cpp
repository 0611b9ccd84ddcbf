#include "capture/host_input_service.h"

#include <memory>
#include <vector>

#include "capture/alsa_backend.h"
#include "capture/demo_device.h"
#include "capture/jack_backend.h"

namespace tessaly {
namespace {

std::vector<std::unique_ptr<PortBackend>> Backends() {
  std::vector<std::unique_ptr<PortBackend>> backends;
  backends.push_back(std::make_unique<AlsaBackend>());
  backends.push_back(std::make_unique<JackBackend>());
  backends.push_back(std::make_unique<DemoBackend>());
  return backends;
}

}  // namespace

HostInputService::HostInputService() : QueuedInputService(Backends()) {}

}  // namespace tessaly
