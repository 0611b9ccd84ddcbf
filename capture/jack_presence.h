#pragma once

#include <atomic>
#include <string>

// What RtMidi does not tell about a JACK server: whether one is running, whether it went
// away, and whether a port still exists. RtMidi registers no shutdown callback of its own and
// keeps calling a dead client quietly, so the service asks libjack here.
//
// Window thread, except the shutdown callback, which libjack runs on its own thread and
// which only sets an atomic flag.
struct _jack_client;

namespace tessaly {

// Keeps libjack's own messages ("Cannot connect to server socket", ...) off standard error:
// the service reports in its own words. Once per process; any thread.
void SilenceJackMessages();

// True when a JACK server (the one JACK_DEFAULT_SERVER names, or the default) accepts a
// client now. Never starts a server.
bool JackServerRunning();

// A client of our own that only watches: it is told when the server goes away, and it can ask
// whether a port exists. Not activated, no ports.
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

 private:
  _jack_client* client_ = nullptr;
  // Set on libjack's thread; read on the window thread. release/acquire: a flag only, but
  // nothing reads the client's state after seeing it set.
  std::atomic<bool> gone_{false};
};

}  // namespace tessaly
