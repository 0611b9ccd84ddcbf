#pragma once

#include "capture/queued_input_service.h"

// The program's MIDI input service: the host's ports through RtMidi (ALSA sequencer sources,
// then JACK MIDI outputs, then our virtual input port on each running system), then the demo
// device, so a machine with no MIDI system still has port 0.
namespace tessaly {

class RtMidiInputService : public QueuedInputService {
 public:
  RtMidiInputService();
};

}  // namespace tessaly
