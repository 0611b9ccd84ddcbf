#pragma once

#include <atomic>
#include <string>
#include <vector>

// What the service asks libjack about a JACK server beyond our input's own client: whether
// one is running, whether it went away, which MIDI ports it has, and when that changes.
//
// Window thread, except the callbacks, which libjack runs on a thread of its own and which
// only set atomic flags.
struct _jack_client;

namespace tessaly {

// Keeps libjack's own messages ("Cannot connect to server socket", ...) off standard error:
// the service reports in its own words; asks PipeWire's libjack to hand MIDI events over as
// sent (see AskForEventsAsSent); and ignores SIGPIPE, which a write to a dead server's socket
// would raise. Once per process, before the first client opens; any thread.
void SilenceJackMessages();

// PipeWire's libjack rewrites a Note On of velocity 0 into a Note Off in the receiving client
// unless the client's property jack.fix-midi-events is false; a monitor must show what the
// device sent. That libjack reads the environment's PIPEWIRE_PROPS at every jack_client_open,
// so the property is added there (to what the user put there, which wins). jackd's libjack
// never reads it. Called by SilenceJackMessages.
void AskForEventsAsSent();

// True when a JACK server (the one JACK_DEFAULT_SERVER names, or the default) accepts a
// client now. Never starts a server.
bool JackServerRunning();

// A client of our own that only watches: it is told when the server goes away and when a
// port comes or goes, and it can list and look up ports. Activated (PipeWire's libjack tells
// only an activated client of a shutdown), no ports.
class JackWatch {
 public:
  JackWatch() = default;
  ~JackWatch();
  JackWatch(const JackWatch&) = delete;
  JackWatch& operator=(const JackWatch&) = delete;

  // False when no server accepts the client.
  bool Connect();
  bool ServerGone() const { return gone_.load(std::memory_order_acquire); }
  bool PortExists(const std::string& fullName) const;
  // True once after a port was registered or unregistered, or the server went away.
  bool TakeChange() { return changed_.exchange(false, std::memory_order_acq_rel); }

  struct Port {
    std::string name;  // full name, "client:port"
    bool physical;     // a device's port (JackPortIsPhysical)
  };
  // The server's MIDI output ports, in the server's order; empty once it has gone.
  std::vector<Port> MidiOutputs() const;

 private:
  _jack_client* client_ = nullptr;
  // Set on libjack's thread; read on the window thread. release/acquire: a flag only, but
  // nothing reads the client's state after seeing it set.
  std::atomic<bool> gone_{false};
  // Set on libjack's thread, taken on the window thread; acq_rel: the listing made after
  // taking it sees the server's new ports.
  std::atomic<bool> changed_{false};
};

}  // namespace tessaly
