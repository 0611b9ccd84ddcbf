#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "capture/port_backend.h"

// JACK's MIDI ports, listed through RtMidi 5: every JACK MIDI output while a server runs, then
// our own virtual input port, which other programs connect to; opened through our own input
// (jack_input.h). ALSA has a backend of its own (alsa_backend.h). Every RtMidi call of the program
// is made in rtmidi_backend.cpp, and RtMidi's traps are handled and explained there. Window thread.
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
