#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "capture/jack_presence.h"
#include "capture/jack_server_watch.h"
#include "capture/port_backend.h"

// The JACK server's MIDI output ports, listed by libjack itself (jack_get_ports), then our own
// virtual input port, which other programs connect to; each opened by our own JACK input
// (jack_input.h). A watch client of the backend's own stays connected between listings, so
// the server's port registration callback tells when a port comes or goes and the next
// listing is made at once (PortsChanged). A server that went away is dropped, and the next
// listing looks for one again: a server that comes back is listed. With no server, a client is
// opened to look for one only when a server's socket appeared (JackServerWatch), and
// otherwise once in a long while. Window thread.
namespace tessaly {

class JackBackend : public PortBackend {
 public:
  JackBackend();
  ~JackBackend() override;

  std::vector<PortListing> ListPorts() override;
  MidiResult Open(size_t index, InputDelivery& delivery,
                  std::unique_ptr<InputSource>& source) override;
  // Moves on when the port registration callback heard a port come or go, or a server came
  // or went.
  uint64_t PortsChanged() override;

 private:
  struct Entry {
    bool isVirtual;    // our own virtual input port
    std::string port;  // the JACK port's full name
  };
  bool ListChanged();
  // Connected to a running server, or null when none accepts a client now.
  JackWatch* Watch();

  std::unique_ptr<JackWatch> watch_;
  std::vector<Entry> entries_;
  std::vector<PortListing> listed_;  // the latest listing, kept while a dead server's input is open
  // With no server, whether one has started is asked when its socket may have appeared, then
  // once a second for a while (a socket can be made before its server takes clients), and
  // otherwise once per kProbeFallback, for a server whose socket is made where we do not
  // look. A client open that fails costs a thread and a dozen files (see JackServerWatch).
  JackServerWatch serverWatch_;
  std::chrono::steady_clock::time_point lastProbe_{};
  std::chrono::steady_clock::time_point probeUntil_{};
  uint64_t changes_ = 0;
};

// The name a JACK port is listed under: "JACK: client:port", and for a device that PipeWire
// or an ALSA bridge of jackd brings into JACK (a physical port), a note that it is the
// device again, seen through JACK.
PortListing JackListing(const std::string& fullName, bool physical);

}  // namespace tessaly
