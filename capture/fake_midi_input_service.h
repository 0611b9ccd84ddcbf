#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "capture/midi_input_service.h"

// A scriptable MIDI input service for tests and fuzzing. A test sets the ports, makes any
// call fail with a chosen result, and plays the driver: it delivers callback calls of any
// kind and fills and returns the queued receive buffer with chosen bytes. The semantics are
// those of the real service: Reset returns the queued buffer through the callback before it
// returns, Close and UnprepareHeader fail while a buffer is queued, AddBuffer fails on an
// unprepared header, and every call on a closed or unknown handle answers kInvalidHandle.
//
// Port calls come from the test's window thread; Deliver*, Return* and SendSysex may come from
// one other thread (the test's driver thread) at any time.
//
// Like the real service, the fake never runs two callback calls at once: every call of the
// callback, from Deliver*, Return*, SendSysex (driver thread) or from Open, Close and Reset
// (window thread), runs with deliveryMutex_ held. The same lock guards the queued buffer's
// bytes and fill count, so a Reset never returns a buffer that SendSysex is still writing.
// A test double may lock here; the real service orders its calls without a lock held while the
// callback runs. There is no re-entry: the callback only calls PrepareHeader, AddBuffer,
// UnprepareHeader and GetErrorText, which never take deliveryMutex_, and never Open, Close or
// Reset. A callback of a test's own must keep to that too.
namespace tessaly {

class FakeMidiInputService : public MidiInputService {
 public:
  enum class Call {
    kGetDevCaps,
    kOpen,
    kStart,
    kStop,
    kReset,
    kClose,
    kPrepareHeader,
    kUnprepareHeader,
    kAddBuffer,
  };

  // --- script ---
  void SetPorts(std::vector<std::string> names);
  // GetNumDevs answers `count` whatever the port list holds (a port that vanished since).
  void SetReportedPortCount(std::optional<uint32_t> count) { reportedCount_ = count; }
  // What a hotplug announcement does: PortsChanged moves on (SetPorts alone does not).
  void AnnouncePortChange() { ++portChanges_; }
  uint64_t PortsChanged() override { return portChanges_; }
  // The next `times` calls (or every call, with times < 0) fail with `result` and do nothing.
  void FailCall(Call call, MidiResult result, int times = 1);
  void ClearFailures();
  // Time stamp used for the callback calls the service makes itself (open, close, reset).
  void SetNow(uint32_t ms) { now_.store(ms, std::memory_order_relaxed); }

  // --- the driver's side ---
  // Calls the callback of the open port with any kind and parameters; false when no port is
  // open.
  bool Deliver(uint32_t kind, uintptr_t param1, uintptr_t param2);
  bool DeliverShort(uint32_t message, uint32_t timeStamp);  // MIM_DATA
  bool DeliverError(uint32_t message, uint32_t timeStamp);  // MIM_ERROR
  // Fills the queued buffer with `bytes` (cut to its length) and returns it with `kind`;
  // `claimedBytes` overrides the recorded count the header reports. False when no buffer is
  // queued.
  bool ReturnBuffer(const uint8_t* bytes, size_t n, uint32_t timeStamp,
                    uint32_t kind = 0x3C4 /* MIM_LONGDATA */,
                    std::optional<uint32_t> claimedBytes = std::nullopt);
  // Sends system-exclusive bytes as a driver would: into the queued buffer, returned when it
  // is full or after an F7. Bytes that arrive while no buffer is queued are dropped; returns
  // how many were dropped.
  size_t SendSysex(const uint8_t* bytes, size_t n, uint32_t timeStamp);
  size_t SendSysex(const std::vector<uint8_t>& bytes, uint32_t timeStamp) {
    return SendSysex(bytes.data(), bytes.size(), timeStamp);
  }

  // --- inspection ---
  // Whether the receive buffer is lent to the service. Taken under the delivery lock, so a
  // buffer that a callback on the driver thread is handing back and queuing again counts as
  // queued. Not from inside the callback.
  bool BufferQueued() const;
  bool IsOpen() const { return openHandle_.load(std::memory_order_acquire) != 0; }
  MidiInHandle OpenHandle() const { return openHandle_.load(std::memory_order_acquire); }
  uint32_t OpenPortIndex() const { return openPort_; }
  bool Started() const { return started_; }
  // Port calls made so far, in order, e.g. "Open 0", "Start", "Reset", "Close", with the
  // result appended when it is not 0: "Close -> 65".
  std::vector<std::string> CallLog() const;
  void ClearCallLog();

  // --- MidiInputService ---
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
  const SystemLosses* Losses() const override { return &losses; }

  // Losses the scripted MIDI system reports, as a real source's threads would.
  SystemLosses losses;

 private:
  std::optional<MidiResult> TakeFailure(Call call);
  template <typename Check, typename Act>
  MidiResult PortCall(Call call, const std::string& what, Check check, Act act);
  // A call on the open port, which acts when the handle is the open one.
  MidiResult OnOpenPort(Call call, const char* what, MidiInHandle handle,
                        void (*act)(FakeMidiInputService&));
  // A header call: `check` once the handle, the header and its size are good.
  MidiResult HeaderCall(Call call, const char* what, MidiInHandle handle, ReceiveHeader* header,
                        uint32_t headerSize,
                        MidiResult (*check)(const FakeMidiInputService&, const ReceiveHeader&),
                        void (*act)(FakeMidiInputService&, ReceiveHeader&));
  bool ValidHandle(MidiInHandle handle) const;
  void Log(const char* what, MidiResult result);
  void Log(const std::string& what, MidiResult result);
  // The driver's side, deliveryMutex_ held by the caller.
  bool DeliverLocked(uint32_t kind, uintptr_t param1, uintptr_t param2);
  bool ReturnQueuedLocked(uint32_t kind, uint32_t timeStamp, std::optional<uint32_t> claimedBytes);

  std::vector<std::string> ports_;
  std::optional<uint32_t> reportedCount_;
  uint64_t portChanges_ = 0;
  std::map<Call, std::pair<MidiResult, int>> failures_;
  // Header calls come from the callback's thread too. A fake may lock; the real service may not.
  std::mutex failuresMutex_;

  std::atomic<MidiInHandle> openHandle_{0};
  MidiInHandle nextHandle_ = 1;
  uint32_t openPort_ = 0;
  bool started_ = false;
  std::atomic<MidiInputProc> callback_{nullptr};
  std::atomic<uintptr_t> instance_{0};
  std::atomic<uint32_t> now_{0};

  // Held around every callback call and around every touch of the queued buffer's bytes (see
  // the note at the top). Never taken by the header calls, which the callback makes.
  mutable std::mutex deliveryMutex_;
  // The queued receive buffer, handed over with release/acquire: AddBuffer (window thread or
  // the callback) queues it, the driver's side takes it back under deliveryMutex_.
  std::atomic<ReceiveHeader*> queued_{nullptr};
  // Bytes written into the queued buffer by SendSysex so far; reset by AddBuffer before the
  // buffer is published, otherwise touched under deliveryMutex_.
  std::atomic<uint32_t> filling_{0};

  mutable std::mutex logMutex_;
  std::vector<std::string> log_;
};

}  // namespace tessaly
