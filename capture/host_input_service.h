#pragma once

#include "capture/queued_input_service.h"

// The program's MIDI input service: the ALSA sequencer's ports and JACK's, each listed and
// opened by our own input on the system's own library, and the demo device, so a machine with no
// MIDI system still has port 0; ordered by group (port_backend.h): devices, programs, Midi Through,
// our own virtual ports, the demo.
namespace tessaly {

class HostInputService : public QueuedInputService {
 public:
  HostInputService();
};

}  // namespace tessaly
