#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "capture/file_backend.h"
#include "capture/queued_input_service.h"

// The program's MIDI input service: the ALSA sequencer's ports and JACK's, each listed and
// opened by our own input on the system's own library, a capture file replayed (when one is
// given), and the demo device, so a machine with no MIDI system still has port 0; ordered by
// group (port_backend.h): devices, programs, Midi Through, the file, our own virtual ports, the
// demo.
namespace tessaly {

class HostInputService : public QueuedInputService {
 public:
  // `replayFile`: the file replayed as a port (empty: none, until SetReplayFile); `fast`: as
  // fast as the monitor takes it, else in the file's own time.
  explicit HostInputService(std::string replayFile = {}, bool fast = false);

  FileBackend& files() { return *files_; }
  // Window thread: replays `path` from the next open of its port, and gives that port's place
  // in the list (none: no file).
  std::optional<uint32_t> SetReplayFile(std::string path);
  // The place of the file's port in the list as it is now.
  std::optional<uint32_t> ReplayPort() { return PlaceOf(files_, 0); }

 private:
  HostInputService(FileBackend* files, const std::string& replayFile);
  FileBackend* files_;
};

}  // namespace tessaly
