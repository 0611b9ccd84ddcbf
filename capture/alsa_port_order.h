#pragma once

#include <string>
#include <vector>

#include "capture/port_backend.h"

// How the ALSA sequencer's ports are named and ordered for the user, apart from the
// sequencer itself (so it is tested without a kernel). Window thread.
namespace tessaly {

struct AlsaPortInfo {
  int client = 0;
  int port = 0;
  std::string clientName;
  std::string portName;
  bool kernelClient = false;  // a device driver's client (SND_SEQ_KERNEL_CLIENT)
};

// "Midi Through" (snd-seq-dummy) is a kernel client that only passes on what is sent to it.
bool IsMidiThrough(const AlsaPortInfo& port);

// "ALSA: CLIENT:PORT C:P", the name alsa-lib's users know (aconnect's client and port names
// with their numbers).
std::string AlsaPortName(const AlsaPortInfo& port);

// Devices (kernel clients) by client and port number, then programs, then Midi Through; the
// caller's `ports` are sorted in place to this order and listed with their groups.
std::vector<PortListing> OrderAlsaPorts(std::vector<AlsaPortInfo>& ports);

}  // namespace tessaly
