#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/input_delivery.h"
#include "capture/midi_input_service.h"
#include "capture/port_backend.h"

// The MIDI input service over port backends: the ports of every backend in order, one port
// open at a time, input delivered by an InputDelivery (see there for threads and time
// stamps). Semantics: Reset returns the queued buffer through the callback before it
// returns; Close and UnprepareHeader answer kStillPlaying while the buffer is queued;
// AddBuffer answers kUnprepared on an unprepared header; every call on a closed or unknown
// handle answers kInvalidHandle. Start, Stop and Reset do their work and then answer what the
// port says about itself: kSourceGone once the source has disappeared, kServerGone once the
// MIDI server has. Close always closes.
//
// Port calls come from the window thread. PrepareHeader, UnprepareHeader, AddBuffer and
// GetErrorText may also come from inside the callback: they touch only atomics.
namespace tessaly {

class QueuedInputService : public MidiInputService {
 public:
  explicit QueuedInputService(std::vector<std::unique_ptr<PortBackend>> backends);
  ~QueuedInputService() override;
  QueuedInputService(const QueuedInputService&) = delete;
  QueuedInputService& operator=(const QueuedInputService&) = delete;

  // Lists the ports again. GetNumDevs does too, unless GetDevCaps listed them first and they
  // have not been counted yet.
  void RefreshPorts();
  // Stops an open port without calling back: for the end of the process, when the callback's
  // instance is about to go away whatever the port says.
  void ForceClose();
  // Counts of the open port, for reports and tests (0 when none is open).
  uint64_t MessagesDropped() const;
  uint64_t SysexBytesDropped() const;
  // The same counts, with the waits for room, added up over every port opened so far.
  InputDelivery::Counts TotalCounts() const;

  uint32_t GetNumDevs() override;
  MidiResult GetDevCaps(uint32_t port, PortCaps* caps, uint32_t capsSize) override;
  MidiResult Open(MidiInHandle* handle, uint32_t port, MidiInputProc callback, uintptr_t instance,
                  uint32_t flags) override;
  MidiResult Start(MidiInHandle handle) override;
  MidiResult Stop(MidiInHandle handle) override;
  MidiResult Reset(MidiInHandle handle) override;
  MidiResult Close(MidiInHandle handle) override;
  MidiResult PrepareHeader(MidiInHandle handle, ReceiveHeader* header,
                           uint32_t headerSize) override;
  MidiResult UnprepareHeader(MidiInHandle handle, ReceiveHeader* header,
                             uint32_t headerSize) override;
  MidiResult AddBuffer(MidiInHandle handle, ReceiveHeader* header, uint32_t headerSize) override;
  // Window thread; applies to the open port at once and to every port opened later.
  void SetDeliveryGate(const DeliveryGate* gate) override;
  const SystemLosses* Losses() const override { return &losses_; }
  // The open port's tap first gets the port's line (on this thread, before the input thread
  // takes it over), so a recording started while a port is open says where its events come from.
  bool SetTap(CaptureTap* tap) override;
  // Moves on when any backend's does (a listing made after it sees the change).
  uint64_t PortsChanged() override;
  // Each backend's notices in turn.
  bool TakeNotice(std::string& line) override;
  // Lists the ports again and gives the place of `backend`'s port `index` in the list; none
  // when it lists no such port.
  std::optional<uint32_t> PlaceOf(const PortBackend* backend, size_t index);

 private:
  struct Port {
    PortBackend* backend;
    size_t index;
    std::string name;
    PortGroup group;
  };
  struct Session {
    Session(MidiInHandle handle, MidiInputProc callback, uintptr_t instance)
        : delivery(handle, callback, instance) {}
    InputDelivery delivery;
    std::unique_ptr<InputSource> source;
    std::string name;
  };

  // The open session when `handle` names it; null otherwise. Any thread.
  Session* Find(MidiInHandle handle) const;
  // Start, Stop and Reset: `step` on the open port's delivery, answered with its source's health.
  MidiResult Step(MidiInHandle handle, void (InputDelivery::*step)());
  // The header calls' first checks: the open session `handle` names, then the header's size.
  MidiResult CheckHeader(MidiInHandle handle, const ReceiveHeader* header, uint32_t headerSize,
                         Session*& session) const;
  void EndSession();

  std::vector<std::unique_ptr<PortBackend>> backends_;
  std::vector<Port> ports_;
  bool listed_ = false;
  bool listFresh_ = false;  // listed by GetDevCaps and not yet counted by GetNumDevs
  MidiInHandle nextHandle_ = 1;
  std::unique_ptr<Session> owned_;      // window thread
  const DeliveryGate* gate_ = nullptr;  // window thread
  InputDelivery::Counts endedCounts_;   // window thread: of the ports closed so far
  SystemLosses losses_;                 // of every port, counted by the sources' threads
  CaptureTap* tap_ = nullptr;           // window thread
  // The open session as the callback's thread sees it. It lives until Close has ended the
  // input thread, so a callback never finds it freed.
  std::atomic<Session*> open_{nullptr};
};

}  // namespace tessaly
