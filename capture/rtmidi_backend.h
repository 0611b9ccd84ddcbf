#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "capture/port_backend.h"

// The host's MIDI ports, listed through RtMidi 5: every ALSA sequencer source and every JACK MIDI
// output, whichever system is running (a missing one is simply absent), then our own virtual
// input port on each of them, which other programs connect to. ALSA ports are opened through
// RtMidi, JACK ports through our own input (jack_input.h). Every RtMidi call of the program is
// made in rtmidi_backend.cpp, and RtMidi's traps are handled and explained there. Window thread.
namespace tessaly {

inline constexpr const char* kVirtualPortName = "Tessaly MIDI In";

class RtMidiBackend : public PortBackend {
 public:
  RtMidiBackend();
  ~RtMidiBackend() override;

  std::vector<PortListing> ListPorts() override;
  MidiResult Open(size_t index, InputDelivery& delivery,
                  std::unique_ptr<InputSource>& source) override;

 private:
  struct Entry {
    int api;             // RtMidi::Api
    bool isVirtual;      // our own virtual input port
    std::string rtName;  // RtMidi's name of the source, to find it again at open
  };
  std::vector<Entry> entries_;
};

}  // namespace tessaly
