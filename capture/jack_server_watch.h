#pragma once

#include <string>
#include <vector>

// Tells when a JACK server may have started, without asking one: opening a client to find out
// costs a thread, a dozen files and a failed connect each time (on an emulated machine more
// than 1 % of a core at once a second). A server makes its socket in a known folder as it
// starts: jackd in /dev/shm ("jack_NAME_UID_0"), PipeWire, which serves JACK clients through its
// own libjack, in its runtime folder ("pipewire-0"). inotify reports what is made there; the
// caller opens a client only then. Window thread.
namespace tessaly {

class JackServerWatch {
 public:
  // Watches the folders where the sockets of the server that libjack would ask are made
  // (JACK_DEFAULT_SERVER, or "default").
  JackServerWatch();
  // For tests: watches `folders` for server `server` instead.
  JackServerWatch(const std::vector<std::string>& folders, std::string server);
  ~JackServerWatch();
  JackServerWatch(const JackServerWatch&) = delete;
  JackServerWatch& operator=(const JackServerWatch&) = delete;

  // False when no folder could be watched (the caller must ask in another way).
  bool Watching() const { return watches_ > 0; }
  // True when a name that a server's socket starts with was made or moved into a watched
  // folder since the last call (see the .cpp). Never blocks: one read that finds nothing.
  bool Appeared();

 private:
  void Watch(const std::vector<std::string>& folders);

  std::string server_;
  int fd_ = -1;
  int watches_ = 0;
};

}  // namespace tessaly
