#include "capture/alsa_port_order.h"

#include <algorithm>
#include <tuple>

namespace tessaly {

bool IsMidiThrough(const AlsaPortInfo& port) {
  return port.kernelClient && port.clientName == "Midi Through";
}

std::string AlsaPortName(const AlsaPortInfo& port) {
  return "ALSA: " + port.clientName + ":" + port.portName + " " + std::to_string(port.client) +
         ":" + std::to_string(port.port);
}

namespace {

PortGroup GroupOf(const AlsaPortInfo& port) {
  if (IsMidiThrough(port)) return PortGroup::kLoopback;
  return port.kernelClient ? PortGroup::kDevice : PortGroup::kProgram;
}

}  // namespace

std::vector<PortListing> OrderAlsaPorts(std::vector<AlsaPortInfo>& ports) {
  std::sort(ports.begin(), ports.end(), [](const AlsaPortInfo& a, const AlsaPortInfo& b) {
    return std::make_tuple(GroupOf(a), a.client, a.port) <
           std::make_tuple(GroupOf(b), b.client, b.port);
  });
  std::vector<PortListing> listed;
  listed.reserve(ports.size());
  for (const AlsaPortInfo& port : ports) listed.push_back({AlsaPortName(port), GroupOf(port)});
  return listed;
}

}  // namespace tessaly
