#include "capture/fake_midi_input_service.h"

#include <algorithm>
#include <cstring>

#include "capture/midi_constants.h"
#include "capture/receive_buffer_fill.h"

namespace tessaly {

void FakeMidiInputService::SetPorts(std::vector<std::string> names) {
  ports_ = std::move(names);
}

void FakeMidiInputService::FailCall(Call call, MidiResult result, int times) {
  std::lock_guard lock(failuresMutex_);
  failures_[call] = {result, times};
}

void FakeMidiInputService::ClearFailures() {
  std::lock_guard lock(failuresMutex_);
  failures_.clear();
}

std::optional<MidiResult> FakeMidiInputService::TakeFailure(Call call) {
  std::lock_guard lock(failuresMutex_);
  auto it = failures_.find(call);
  if (it == failures_.end()) return std::nullopt;
  const MidiResult result = it->second.first;
  if (it->second.second > 0 && --it->second.second == 0) failures_.erase(it);
  return result;
}

bool FakeMidiInputService::ValidHandle(MidiInHandle handle) const {
  return handle != 0 && handle == openHandle_.load(std::memory_order_acquire);
}

void FakeMidiInputService::Log(const char* what, MidiResult result) {
  Log(std::string(what), result);
}

void FakeMidiInputService::Log(const std::string& what, MidiResult result) {
  std::lock_guard lock(logMutex_);
  log_.push_back(result == kNoError ? what : what + " -> " + std::to_string(result));
}

std::vector<std::string> FakeMidiInputService::CallLog() const {
  std::lock_guard lock(logMutex_);
  return log_;
}

void FakeMidiInputService::ClearCallLog() {
  std::lock_guard lock(logMutex_);
  log_.clear();
}

uint32_t FakeMidiInputService::GetNumDevs() {
  return reportedCount_.value_or(static_cast<uint32_t>(ports_.size()));
}

// Every port call but Close: an injected result (0 included) stands for the call, and nothing
// else happens; otherwise `check` gives its answer, and only kNoError lets `act` run. Logged
// before it acts, so that the calls a callback makes from inside `act` are logged after it.
template <typename Check, typename Act>
MidiResult FakeMidiInputService::PortCall(Call call, const std::string& what, Check check,
                                          Act act) {
  const std::optional<MidiResult> failure = TakeFailure(call);
  const MidiResult result = failure ? *failure : check();
  Log(what, result);
  if (!failure && result == kNoError) act();
  return result;
}

MidiResult FakeMidiInputService::OnOpenPort(Call call, const char* what, MidiInHandle handle,
                                            void (*act)(FakeMidiInputService&)) {
  return PortCall(
      call, what, [&] { return ValidHandle(handle) ? kNoError : kInvalidHandle; },
      [&] { act(*this); });
}

MidiResult FakeMidiInputService::GetDevCaps(uint32_t port, PortCaps* caps, uint32_t capsSize) {
  return PortCall(
      Call::kGetDevCaps, "GetDevCaps " + std::to_string(port),
      [&] {
        if (caps == nullptr || capsSize != kPortCapsSize) return kInvalidParam;
        return port >= ports_.size() ? kBadDeviceId : kNoError;
      },
      [&] {
        std::memset(caps->productName, 0, sizeof caps->productName);
        std::strncpy(caps->productName, ports_[port].c_str(), sizeof caps->productName - 1);
      });
}

MidiResult FakeMidiInputService::Open(MidiInHandle* handle, uint32_t port, MidiInputProc callback,
                                      uintptr_t instance, uint32_t flags) {
  const auto check = [&] {
    if (handle == nullptr || callback == nullptr || flags != kCallbackFunction) {
      return kInvalidParam;
    }
    if (port >= ports_.size()) return kBadDeviceId;
    return openHandle_.load(std::memory_order_acquire) != 0 ? kAllocated : kNoError;
  };
  return PortCall(Call::kOpen, "Open " + std::to_string(port), check, [&] {
    const MidiInHandle opened = nextHandle_++;
    *handle = opened;
    openPort_ = port;
    started_ = false;
    // Held from before the handle is visible until MIM_OPEN has been delivered, so the
    // driver's first call on this port comes after it.
    std::lock_guard delivery(deliveryMutex_);
    filling_.store(0, std::memory_order_relaxed);
    callback_.store(callback, std::memory_order_relaxed);
    instance_.store(instance, std::memory_order_relaxed);
    // release: the callback and instance are visible to a driver thread that sees the handle.
    openHandle_.store(opened, std::memory_order_release);
    callback(opened, MIM_OPEN, instance, 0, 0);
  });
}

MidiResult FakeMidiInputService::Start(MidiInHandle handle) {
  return OnOpenPort(Call::kStart, "Start", handle,
                    [](FakeMidiInputService& self) { self.started_ = true; });
}

MidiResult FakeMidiInputService::Stop(MidiInHandle handle) {
  return OnOpenPort(Call::kStop, "Stop", handle,
                    [](FakeMidiInputService& self) { self.started_ = false; });
}

MidiResult FakeMidiInputService::Reset(MidiInHandle handle) {
  return OnOpenPort(Call::kReset, "Reset", handle, [](FakeMidiInputService& self) {
    self.started_ = false;
    // The queued buffer comes back with whatever had been recorded into it, in turn with the
    // driver's own calls.
    std::lock_guard delivery(self.deliveryMutex_);
    self.ReturnQueuedLocked(MIM_LONGDATA, self.now_.load(std::memory_order_relaxed), std::nullopt);
  });
}

MidiResult FakeMidiInputService::Close(MidiInHandle handle) {
  // Held for the queue check, MIM_CLOSE and the end of the handle: a buffer that the driver's
  // callback is queuing again counts as queued, and nothing is delivered after MIM_CLOSE.
  std::unique_lock delivery(deliveryMutex_);
  // An injected result, 0 included, stands for the call: nothing else happens.
  const std::optional<MidiResult> failure = TakeFailure(Call::kClose);
  const MidiResult result = failure ? *failure : [&] {
    if (!ValidHandle(handle)) return kInvalidHandle;
    return queued_.load(std::memory_order_acquire) != nullptr ? kStillPlaying : kNoError;
  }();
  if (!failure && result == kNoError) {
    MidiInputProc callback = callback_.load(std::memory_order_relaxed);
    callback(handle, MIM_CLOSE, instance_.load(std::memory_order_relaxed), 0, 0);
    openHandle_.store(0, std::memory_order_release);
    started_ = false;
  }
  delivery.unlock();
  Log("Close", result);
  return result;
}

// The header calls: `header` and its size are checked after the handle.
MidiResult FakeMidiInputService::HeaderCall(Call call, const char* what, MidiInHandle handle,
                                            ReceiveHeader* header, uint32_t headerSize,
                                            MidiResult (*check)(const FakeMidiInputService&,
                                                                const ReceiveHeader&),
                                            void (*act)(FakeMidiInputService&, ReceiveHeader&)) {
  return PortCall(
      call, what,
      [&] {
        if (!ValidHandle(handle)) return kInvalidHandle;
        if (header == nullptr || headerSize != kReceiveHeaderSize) return kInvalidParam;
        return check(*this, *header);
      },
      [&] { act(*this, *header); });
}

MidiResult FakeMidiInputService::PrepareHeader(MidiInHandle handle, ReceiveHeader* header,
                                               uint32_t headerSize) {
  return HeaderCall(
      Call::kPrepareHeader, "PrepareHeader", handle, header, headerSize,
      [](const FakeMidiInputService&, const ReceiveHeader& h) {
        return h.data.load(std::memory_order_relaxed) == nullptr ? kInvalidParam : kNoError;
      },
      [](FakeMidiInputService&, ReceiveHeader& h) {
        h.flags.fetch_or(kHeaderPrepared, std::memory_order_relaxed);
      });
}

MidiResult FakeMidiInputService::UnprepareHeader(MidiInHandle handle, ReceiveHeader* header,
                                                 uint32_t headerSize) {
  return HeaderCall(
      Call::kUnprepareHeader, "UnprepareHeader", handle, header, headerSize,
      [](const FakeMidiInputService& self, const ReceiveHeader& h) {
        return self.queued_.load(std::memory_order_acquire) == &h ? kStillPlaying : kNoError;
      },
      [](FakeMidiInputService&, ReceiveHeader& h) {
        h.flags.fetch_and(~kHeaderPrepared, std::memory_order_relaxed);
      });
}

MidiResult FakeMidiInputService::AddBuffer(MidiInHandle handle, ReceiveHeader* header,
                                           uint32_t headerSize) {
  return HeaderCall(
      Call::kAddBuffer, "AddBuffer", handle, header, headerSize,
      [](const FakeMidiInputService& self, const ReceiveHeader& h) {
        if ((h.flags.load(std::memory_order_relaxed) & kHeaderPrepared) == 0) return kUnprepared;
        return self.queued_.load(std::memory_order_acquire) != nullptr ? kStillPlaying : kNoError;
      },
      [](FakeMidiInputService& self, ReceiveHeader& h) {
        MarkLent(h);
        self.filling_.store(0, std::memory_order_relaxed);
        // release: the header's fields are set before the driver side can take it.
        self.queued_.store(&h, std::memory_order_release);
      });
}

bool FakeMidiInputService::BufferQueued() const {
  std::lock_guard delivery(deliveryMutex_);
  return queued_.load(std::memory_order_acquire) != nullptr;
}

bool FakeMidiInputService::Deliver(uint32_t kind, uintptr_t param1, uintptr_t param2) {
  std::lock_guard delivery(deliveryMutex_);
  return DeliverLocked(kind, param1, param2);
}

bool FakeMidiInputService::DeliverLocked(uint32_t kind, uintptr_t param1, uintptr_t param2) {
  // acquire: pairs with the release in Open; callback and instance belong to this handle.
  const MidiInHandle handle = openHandle_.load(std::memory_order_acquire);
  if (handle == 0) return false;
  MidiInputProc callback = callback_.load(std::memory_order_relaxed);
  callback(handle, kind, instance_.load(std::memory_order_relaxed), param1, param2);
  return true;
}

bool FakeMidiInputService::DeliverShort(uint32_t message, uint32_t timeStamp) {
  return Deliver(MIM_DATA, message, timeStamp);
}

bool FakeMidiInputService::DeliverError(uint32_t message, uint32_t timeStamp) {
  return Deliver(MIM_ERROR, message, timeStamp);
}

bool FakeMidiInputService::ReturnQueuedLocked(uint32_t kind, uint32_t timeStamp,
                                              std::optional<uint32_t> claimedBytes) {
  // acquire: pairs with the release in AddBuffer.
  ReceiveHeader* header = queued_.exchange(nullptr, std::memory_order_acq_rel);
  if (header == nullptr) return false;
  MarkReturned(*header, claimedBytes.value_or(filling_.load(std::memory_order_relaxed)));
  filling_.store(0, std::memory_order_relaxed);
  if (!DeliverLocked(kind, reinterpret_cast<uintptr_t>(header), timeStamp)) {
    // No port: the buffer stays with the service as if it had never been returned.
    queued_.store(header, std::memory_order_release);
    return false;
  }
  return true;
}

bool FakeMidiInputService::ReturnBuffer(const uint8_t* bytes, size_t n, uint32_t timeStamp,
                                        uint32_t kind, std::optional<uint32_t> claimedBytes) {
  std::lock_guard delivery(deliveryMutex_);
  ReceiveHeader* header = queued_.load(std::memory_order_acquire);
  if (header == nullptr) return false;
  uint8_t* data = header->data.load(std::memory_order_relaxed);
  const size_t length = header->bufferLength.load(std::memory_order_relaxed);
  const size_t stored = std::min(n, length);
  if (data != nullptr && stored > 0) std::memcpy(data, bytes, stored);
  filling_.store(static_cast<uint32_t>(stored), std::memory_order_relaxed);
  return ReturnQueuedLocked(kind, timeStamp, claimedBytes);
}

size_t FakeMidiInputService::SendSysex(const uint8_t* bytes, size_t n, uint32_t timeStamp) {
  size_t dropped = 0;
  for (size_t i = 0; i < n; ++i) {
    // Byte by byte, as a driver receives them: a Reset or a port change on the window thread
    // may fall between any two bytes.
    std::lock_guard delivery(deliveryMutex_);
    ReceiveHeader* header = queued_.load(std::memory_order_acquire);
    uint8_t* data = header ? header->data.load(std::memory_order_relaxed) : nullptr;
    const uint32_t length = header ? header->bufferLength.load(std::memory_order_relaxed) : 0;
    const uint32_t at = filling_.load(std::memory_order_relaxed);
    if (data == nullptr || at >= length) {
      ++dropped;
      continue;
    }
    data[at] = bytes[i];
    filling_.store(at + 1, std::memory_order_relaxed);
    if (at + 1 == length || bytes[i] == kSysexEnd)
      ReturnQueuedLocked(MIM_LONGDATA, timeStamp, std::nullopt);
  }
  return dropped;
}

}  // namespace tessaly
