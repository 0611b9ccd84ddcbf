#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "capture/delivery_gate.h"
#include "capture/midi_result.h"
#include "capture/system_losses.h"

// The MIDI input service: the calls the monitor makes on the host's MIDI system, with the
// semantics of a classic multimedia input API. Implementations: the host service (ALSA
// and JACK) and the scriptable fake that the tests drive.
//
// Threads. Port calls come from the window thread. The service calls the input callback on a
// thread of its own, one call at a time, in arrival order; calls from different threads (its
// input thread, or the caller of Reset returning a buffer) never overlap and are ordered by
// the service. The callback may call PrepareHeader, AddBuffer, UnprepareHeader and
// GetErrorText from inside the callback: those four never lock, wait or allocate, and the
// service holds no lock of its own while the callback runs.
namespace tessaly {

class CaptureTap;

// Handle of an open input. 0 is never a valid handle.
using MidiInHandle = uint32_t;

// The input callback: handle, kind (MIM_*), instance value given to Open, param1, param2.
using MidiInputProc = void (*)(MidiInHandle handle, uint32_t kind, uintptr_t instance,
                               uintptr_t param1, uintptr_t param2);

// Header flags of a receive buffer.
inline constexpr uint32_t kHeaderDone = 0x1;
inline constexpr uint32_t kHeaderPrepared = 0x2;
inline constexpr uint32_t kHeaderInQueue = 0x4;

// Record of a system-exclusive receive buffer lent to the service. Who may touch it: the
// window thread while the buffer is not queued; the service from AddBuffer until it returns
// the buffer through the callback; the callback while it holds the returned buffer. The
// fields are atomics (relaxed: the hand-over itself is ordered by the service's queue) so a
// misuse shows up as a wrong result, never as a data race.
struct ReceiveHeader {
  std::atomic<uint8_t*> data{nullptr};     // lpData
  std::atomic<uint32_t> bufferLength{0};   // dwBufferLength
  std::atomic<uint32_t> bytesRecorded{0};  // dwBytesRecorded, set by the service
  std::atomic<uintptr_t> user{0};          // dwUser
  std::atomic<uint32_t> flags{0};          // dwFlags: kHeader*
};

inline constexpr uint32_t kReceiveHeaderSize = sizeof(ReceiveHeader);

// Port capabilities; only the product name is used. Names of Linux ports are longer than
// the 32 characters of the classic record, so the field is larger.
inline constexpr size_t kProductNameSize = 128;
struct PortCaps {
  char productName[kProductNameSize] = {};
};

inline constexpr uint32_t kPortCapsSize = sizeof(PortCaps);

class MidiInputService {
 public:
  virtual ~MidiInputService() = default;

  // Number of input ports.
  virtual uint32_t GetNumDevs() = 0;
  // Fills `caps` (capsSize must be kPortCapsSize) for `port`; kBadDeviceId when out of range.
  virtual MidiResult GetDevCaps(uint32_t port, PortCaps* caps, uint32_t capsSize) = 0;
  // Opens `port`: writes the handle, calls `callback` with MIM_OPEN, then delivers input once
  // started. `flags` must be kCallbackFunction.
  virtual MidiResult Open(MidiInHandle* handle, uint32_t port, MidiInputProc callback,
                          uintptr_t instance, uint32_t flags) = 0;
  // Input runs; time stamps count in milliseconds from here.
  virtual MidiResult Start(MidiInHandle handle) = 0;
  virtual MidiResult Stop(MidiInHandle handle) = 0;
  // Stops input and returns every queued buffer through the callback (MIM_LONGDATA with the
  // bytes recorded so far, possibly 0) before it returns.
  virtual MidiResult Reset(MidiInHandle handle) = 0;
  // kStillPlaying while a buffer is queued; otherwise calls back MIM_CLOSE and frees the
  // handle. Every call on a closed or unknown handle answers kInvalidHandle.
  virtual MidiResult Close(MidiInHandle handle) = 0;
  virtual MidiResult PrepareHeader(MidiInHandle handle, ReceiveHeader* header,
                                   uint32_t headerSize) = 0;
  // kStillPlaying while the buffer is queued.
  virtual MidiResult UnprepareHeader(MidiInHandle handle, ReceiveHeader* header,
                                     uint32_t headerSize) = 0;
  // kUnprepared on a header that was not prepared. The buffer comes back through the
  // callback as MIM_LONGDATA once full or when its message ended, or at reset.
  virtual MidiResult AddBuffer(MidiInHandle handle, ReceiveHeader* header, uint32_t headerSize) = 0;
  // Terminated text for every result, 0 included, cut to `size`.
  virtual MidiResult GetErrorText(MidiResult result, char* text, uint32_t size) {
    return CopyMidiResultText(result, text, size);
  }
  // Window thread: the consumer's room, asked by the input thread before each callback call
  // (see DeliveryGate); null for none. `gate` must outlive the open port. A service without
  // an input thread of its own ignores it.
  virtual void SetDeliveryGate(const DeliveryGate* gate) { (void)gate; }
  // The losses the MIDI system reported, over every port opened so far (null: a service that
  // has none to report). Read by the drain on the window thread.
  virtual const SystemLosses* Losses() const { return nullptr; }
  // A count that moves on when the list of ports may have changed (a device plugged in, a
  // program gone); 0 for ever from a service that cannot tell. Cheap: read at every tick.
  virtual uint64_t PortsChanged() { return 0; }
  // A line the service has to say in MessageBoxList (a replayed file is malformed), oldest
  // first; false when there is none. Taken by the drain on the window thread.
  virtual bool TakeNotice(std::string& line) {
    (void)line;
    return false;
  }
  // Window thread: where a copy of what the open port (from now on) and every port opened later
  // deliver goes, with the losses seen (the recorder; null: none). Once it returns, nothing
  // reaches the tap it replaced. False from a service that cannot give one.
  virtual bool SetTap(CaptureTap* tap) {
    (void)tap;
    return false;
  }
};

}  // namespace tessaly
