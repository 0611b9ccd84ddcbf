#include "capture/fake_midi_input_service.h"

#include <algorithm>
#include <cstring>

#include "capture/midi_constants.h"

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

MidiResult FakeMidiInputService::GetDevCaps(uint32_t port, PortCaps* caps, uint32_t capsSize) {
  MidiResult result = kNoError;
  // An injected result, 0 included, stands for the call: nothing else happens.
  const std::optional<MidiResult> failure = TakeFailure(Call::kGetDevCaps);
  if (failure) {
    result = *failure;
  } else if (caps == nullptr || capsSize != kPortCapsSize) {
    result = kInvalidParam;
  } else if (port >= ports_.size()) {
    result = kBadDeviceId;
  } else {
    std::memset(caps->productName, 0, sizeof caps->productName);
    std::strncpy(caps->productName, ports_[port].c_str(), sizeof caps->productName - 1);
  }
  Log("GetDevCaps " + std::to_string(port), result);
  return result;
}

MidiResult FakeMidiInputService::Open(MidiInHandle* handle, uint32_t port, MidiInputProc callback,
                                      uintptr_t instance, uint32_t flags) {
  MidiResult result = kNoError;
  // An injected result, 0 included, stands for the call: nothing else happens.
  const std::optional<MidiResult> failure = TakeFailure(Call::kOpen);
  if (failure) {
    result = *failure;
  } else if (handle == nullptr || callback == nullptr || flags != kCallbackFunction) {
    result = kInvalidParam;
  } else if (port >= ports_.size()) {
    result = kBadDeviceId;
  } else if (openHandle_.load(std::memory_order_acquire) != 0) {
    result = kAllocated;
  }
  Log("Open " + std::to_string(port), result);
  if (failure || result != kNoError) return result;
  const MidiInHandle opened = nextHandle_++;
  *handle = opened;
  openPort_ = port;
  started_ = false;
  // Held from before the handle is visible until MIM_OPEN has been delivered, so the driver's
  // first call on this port comes after it.
  std::lock_guard delivery(deliveryMutex_);
  filling_.store(0, std::memory_order_relaxed);
  callback_.store(callback, std::memory_order_relaxed);
  instance_.store(instance, std::memory_order_relaxed);
  // release: the callback and instance are visible to a driver thread that sees the handle.
  openHandle_.store(opened, std::memory_order_release);
  callback(opened, MIM_OPEN, instance, 0, 0);
  return kNoError;
}

MidiResult FakeMidiInputService::Start(MidiInHandle handle) {
  MidiResult result = kNoError;
  // An injected result, 0 included, stands for the call: nothing else happens.
  const std::optional<MidiResult> failure = TakeFailure(Call::kStart);
  if (failure) {
    result = *failure;
  } else if (!ValidHandle(handle)) {
    result = kInvalidHandle;
  } else {
    started_ = true;
  }
  Log("Start", result);
  return result;
}

MidiResult FakeMidiInputService::Stop(MidiInHandle handle) {
  MidiResult result = kNoError;
  // An injected result, 0 included, stands for the call: nothing else happens.
  const std::optional<MidiResult> failure = TakeFailure(Call::kStop);
  if (failure) {
    result = *failure;
  } else if (!ValidHandle(handle)) {
    result = kInvalidHandle;
  } else {
    started_ = false;
  }
  Log("Stop", result);
  return result;
}

MidiResult FakeMidiInputService::Reset(MidiInHandle handle) {
  MidiResult result = kNoError;
  // An injected result, 0 included, stands for the call: nothing else happens.
  const std::optional<MidiResult> failure = TakeFailure(Call::kReset);
  if (failure) {
    result = *failure;
  } else if (!ValidHandle(handle)) {
    result = kInvalidHandle;
  }
  Log("Reset", result);
  if (failure || result != kNoError) return result;
  started_ = false;
  // The queued buffer comes back with whatever had been recorded into it, in turn with the
  // driver's own calls.
  std::lock_guard delivery(deliveryMutex_);
  ReturnQueuedLocked(MIM_LONGDATA, now_.load(std::memory_order_relaxed), std::nullopt);
  return kNoError;
}

MidiResult FakeMidiInputService::Close(MidiInHandle handle) {
  MidiResult result = kNoError;
  // Held for the queue check, MIM_CLOSE and the end of the handle: a buffer that the driver's
  // callback is queuing again counts as queued, and nothing is delivered after MIM_CLOSE.
  std::unique_lock delivery(deliveryMutex_);
  // An injected result, 0 included, stands for the call: nothing else happens.
  const std::optional<MidiResult> failure = TakeFailure(Call::kClose);
  if (failure) {
    result = *failure;
  } else if (!ValidHandle(handle)) {
    result = kInvalidHandle;
  } else if (queued_.load(std::memory_order_acquire) != nullptr) {
    result = kStillPlaying;
  }
  if (!failure && result == kNoError) {
    MidiInputProc callback = callback_.load(std::memory_order_relaxed);
    const uintptr_t instance = instance_.load(std::memory_order_relaxed);
    callback(handle, MIM_CLOSE, instance, 0, 0);
    openHandle_.store(0, std::memory_order_release);
    started_ = false;
  }
  delivery.unlock();
  Log("Close", result);
  return result;
}

MidiResult FakeMidiInputService::PrepareHeader(MidiInHandle handle, ReceiveHeader* header,
                                               uint32_t headerSize) {
  MidiResult result = kNoError;
  // An injected result, 0 included, stands for the call: nothing else happens.
  const std::optional<MidiResult> failure = TakeFailure(Call::kPrepareHeader);
  if (failure) {
    result = *failure;
  } else if (!ValidHandle(handle)) {
    result = kInvalidHandle;
  } else if (header == nullptr || headerSize != kReceiveHeaderSize ||
             header->data.load(std::memory_order_relaxed) == nullptr) {
    result = kInvalidParam;
  } else {
    header->flags.fetch_or(kHeaderPrepared, std::memory_order_relaxed);
  }
  Log("PrepareHeader", result);
  return result;
}

MidiResult FakeMidiInputService::UnprepareHeader(MidiInHandle handle, ReceiveHeader* header,
                                                 uint32_t headerSize) {
  MidiResult result = kNoError;
  // An injected result, 0 included, stands for the call: nothing else happens.
  const std::optional<MidiResult> failure = TakeFailure(Call::kUnprepareHeader);
  if (failure) {
    result = *failure;
  } else if (!ValidHandle(handle)) {
    result = kInvalidHandle;
  } else if (header == nullptr || headerSize != kReceiveHeaderSize) {
    result = kInvalidParam;
  } else if (queued_.load(std::memory_order_acquire) == header) {
    result = kStillPlaying;
  } else {
    header->flags.fetch_and(~kHeaderPrepared, std::memory_order_relaxed);
  }
  Log("UnprepareHeader", result);
  return result;
}

MidiResult FakeMidiInputService::AddBuffer(MidiInHandle handle, ReceiveHeader* header,
                                           uint32_t headerSize) {
  MidiResult result = kNoError;
  // An injected result, 0 included, stands for the call: nothing else happens.
  const std::optional<MidiResult> failure = TakeFailure(Call::kAddBuffer);
  if (failure) {
    result = *failure;
  } else if (!ValidHandle(handle)) {
    result = kInvalidHandle;
  } else if (header == nullptr || headerSize != kReceiveHeaderSize) {
    result = kInvalidParam;
  } else if ((header->flags.load(std::memory_order_relaxed) & kHeaderPrepared) == 0) {
    result = kUnprepared;
  } else if (queued_.load(std::memory_order_acquire) != nullptr) {
    result = kStillPlaying;
  }
  Log("AddBuffer", result);
  if (failure || result != kNoError) return result;
  header->bytesRecorded.store(0, std::memory_order_relaxed);
  header->flags.fetch_or(kHeaderInQueue, std::memory_order_relaxed);
  header->flags.fetch_and(~kHeaderDone, std::memory_order_relaxed);
  filling_.store(0, std::memory_order_relaxed);
  // release: the header's fields are set before the driver side can take it.
  queued_.store(header, std::memory_order_release);
  return kNoError;
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
  if (claimedBytes) {
    header->bytesRecorded.store(*claimedBytes, std::memory_order_relaxed);
  } else {
    header->bytesRecorded.store(filling_.load(std::memory_order_relaxed),
                                std::memory_order_relaxed);
  }
  filling_.store(0, std::memory_order_relaxed);
  header->flags.fetch_and(~kHeaderInQueue, std::memory_order_relaxed);
  header->flags.fetch_or(kHeaderDone, std::memory_order_relaxed);
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
