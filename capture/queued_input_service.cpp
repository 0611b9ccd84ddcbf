#include "capture/queued_input_service.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "capture/midi_constants.h"

namespace tessaly {
namespace {

bool GoodHeader(const ReceiveHeader* header, uint32_t headerSize) {
  return header != nullptr && headerSize == kReceiveHeaderSize;
}

}  // namespace

QueuedInputService::QueuedInputService(std::vector<std::unique_ptr<PortBackend>> backends)
    : backends_(std::move(backends)) {}

QueuedInputService::~QueuedInputService() {
  ForceClose();
}

void QueuedInputService::RefreshPorts() {
  ports_.clear();
  std::vector<PortGroup> groups;
  for (auto& backend : backends_) {
    std::vector<PortListing> listed = backend->ListPorts();
    for (size_t i = 0; i < listed.size(); ++i) {
      ports_.push_back({backend.get(), i, std::move(listed[i].name), listed[i].group});
    }
  }
  // By group, keeping each backend's own order within a group.
  std::stable_sort(ports_.begin(), ports_.end(),
                   [](const Port& a, const Port& b) { return a.group < b.group; });
  listed_ = true;
}

uint64_t QueuedInputService::PortsChanged() {
  uint64_t total = 0;
  for (auto& backend : backends_) total += backend->PortsChanged();
  return total;
}

bool QueuedInputService::TakeNotice(std::string& line) {
  for (auto& backend : backends_) {
    if (backend->TakeNotice(line)) return true;
  }
  return false;
}

std::optional<uint32_t> QueuedInputService::PlaceOf(const PortBackend* backend, size_t index) {
  RefreshPorts();
  for (size_t i = 0; i < ports_.size(); ++i) {
    if (ports_[i].backend == backend && ports_[i].index == index) return static_cast<uint32_t>(i);
  }
  return std::nullopt;
}

void QueuedInputService::ForceClose() {
  if (!owned_) return;
  EndSession();
}

bool QueuedInputService::SetTap(CaptureTap* tap) {
  if (owned_ && tap != nullptr) tap->PortOpened(owned_->name);
  tap_ = tap;
  if (owned_) owned_->delivery.SetTap(tap);
  return true;
}

void QueuedInputService::EndSession() {
  owned_->source.reset();  // no more input from here on
  owned_->delivery.Shutdown();
  const InputDelivery::Counts counts = owned_->delivery.counts();
  endedCounts_.messagesDropped += counts.messagesDropped;
  endedCounts_.sysexBytesDropped += counts.sysexBytesDropped;
  endedCounts_.heldBack += counts.heldBack;
  endedCounts_.gaveUp += counts.gaveUp;
  open_.store(nullptr, std::memory_order_release);
  owned_.reset();
}

uint64_t QueuedInputService::MessagesDropped() const {
  return owned_ ? owned_->delivery.MessagesDropped() : 0;
}

uint64_t QueuedInputService::SysexBytesDropped() const {
  return owned_ ? owned_->delivery.SysexBytesDropped() : 0;
}

InputDelivery::Counts QueuedInputService::TotalCounts() const {
  InputDelivery::Counts total = endedCounts_;
  if (owned_) {
    const InputDelivery::Counts open = owned_->delivery.counts();
    total.messagesDropped += open.messagesDropped;
    total.sysexBytesDropped += open.sysexBytesDropped;
    total.heldBack += open.heldBack;
    total.gaveUp += open.gaveUp;
  }
  for (size_t i = 0; i < kSystemLossKinds; ++i) {
    total.lossReports += losses_.Read(static_cast<SystemLoss>(i)).occurrences;
  }
  total.lossesUncounted = losses_.Uncounted();
  return total;
}

void QueuedInputService::SetDeliveryGate(const DeliveryGate* gate) {
  gate_ = gate;
  if (owned_) owned_->delivery.SetGate(gate);
}

QueuedInputService::Session* QueuedInputService::Find(MidiInHandle handle) const {
  // acquire: pairs with the release in Open; the session is fully built.
  Session* session = open_.load(std::memory_order_acquire);
  if (handle == 0 || session == nullptr || session->delivery.handle() != handle) return nullptr;
  return session;
}

uint32_t QueuedInputService::GetNumDevs() {
  // A list made for GetDevCaps just before (as at the start of port control) is counted as it
  // is, rather than asking every MIDI system again.
  if (!listed_ || !listFresh_) RefreshPorts();
  listFresh_ = false;
  return static_cast<uint32_t>(ports_.size());
}

MidiResult QueuedInputService::GetDevCaps(uint32_t port, PortCaps* caps, uint32_t capsSize) {
  if (caps == nullptr || capsSize != kPortCapsSize) return kInvalidParam;
  if (!listed_) {
    RefreshPorts();
    listFresh_ = true;
  }
  if (port >= ports_.size()) return kBadDeviceId;
  std::memset(caps->productName, 0, sizeof caps->productName);
  const std::string& name = ports_[port].name;
  std::memcpy(caps->productName, name.data(), std::min(name.size(), sizeof caps->productName - 1));
  return kNoError;
}

MidiResult QueuedInputService::Open(MidiInHandle* handle, uint32_t port, MidiInputProc callback,
                                    uintptr_t instance, uint32_t flags) {
  if (handle == nullptr || callback == nullptr || flags != kCallbackFunction) return kInvalidParam;
  if (owned_) return kAllocated;
  if (!listed_) RefreshPorts();
  if (port >= ports_.size()) return kBadDeviceId;
  const MidiInHandle opened = nextHandle_;
  nextHandle_ = nextHandle_ + 1 == 0 ? 1 : nextHandle_ + 1;
  std::unique_ptr<Session> session;
  try {
    session = std::make_unique<Session>(opened, callback, instance);
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  }
  session->delivery.SetGate(gate_);
  session->delivery.SetLosses(&losses_);
  if (!session->delivery.Launch()) return kNoMemory;
  const Port& chosen = ports_[port];
  const MidiResult result = chosen.backend->Open(chosen.index, session->delivery, session->source);
  if (result != kNoError) return result;
  session->name = chosen.name;
  // Input is not started yet: the port's line comes before any of its messages, pushed here
  // before the input thread is given the tap (one producer at a time).
  if (tap_ != nullptr) {
    tap_->PortOpened(chosen.name);
    session->delivery.SetTap(tap_);
  }
  *handle = opened;
  owned_ = std::move(session);
  // release: the session is complete before the callback's thread can find it.
  open_.store(owned_.get(), std::memory_order_release);
  // Input is not started yet, so the input thread is not calling back: no overlap.
  callback(opened, MIM_OPEN, instance, 0, 0);
  return kNoError;
}

MidiResult QueuedInputService::Step(MidiInHandle handle, void (InputDelivery::*step)()) {
  Session* session = Find(handle);
  if (session == nullptr) return kInvalidHandle;
  (session->delivery.*step)();
  return session->source->Health();
}

MidiResult QueuedInputService::Start(MidiInHandle handle) {
  return Step(handle, &InputDelivery::StartInput);
}

MidiResult QueuedInputService::Stop(MidiInHandle handle) {
  return Step(handle, &InputDelivery::StopInput);
}

MidiResult QueuedInputService::Reset(MidiInHandle handle) {
  return Step(handle, &InputDelivery::Reset);
}

MidiResult QueuedInputService::Close(MidiInHandle handle) {
  Session* session = Find(handle);
  if (session == nullptr) return kInvalidHandle;
  if (session->delivery.BufferQueued()) return kStillPlaying;
  session->source.reset();
  session->delivery.Shutdown();
  // The input thread has ended: this is the only call back now.
  session->delivery.StopInput();
  session->delivery.callback()(handle, MIM_CLOSE, session->delivery.instance(), 0, 0);
  EndSession();
  return kNoError;
}

MidiResult QueuedInputService::CheckHeader(MidiInHandle handle, const ReceiveHeader* header,
                                           uint32_t headerSize, Session*& session) const {
  session = Find(handle);
  if (session == nullptr) return kInvalidHandle;
  return GoodHeader(header, headerSize) ? kNoError : kInvalidParam;
}

MidiResult QueuedInputService::PrepareHeader(MidiInHandle handle, ReceiveHeader* header,
                                             uint32_t headerSize) {
  Session* session = nullptr;
  if (const MidiResult bad = CheckHeader(handle, header, headerSize, session)) return bad;
  if (header->data.load(std::memory_order_relaxed) == nullptr) return kInvalidParam;
  header->flags.fetch_or(kHeaderPrepared, std::memory_order_relaxed);
  return kNoError;
}

MidiResult QueuedInputService::UnprepareHeader(MidiInHandle handle, ReceiveHeader* header,
                                               uint32_t headerSize) {
  Session* session = nullptr;
  if (const MidiResult bad = CheckHeader(handle, header, headerSize, session)) return bad;
  if (session->delivery.IsQueued(header)) return kStillPlaying;
  header->flags.fetch_and(~kHeaderPrepared, std::memory_order_relaxed);
  return kNoError;
}

MidiResult QueuedInputService::AddBuffer(MidiInHandle handle, ReceiveHeader* header,
                                         uint32_t headerSize) {
  Session* session = nullptr;
  if (const MidiResult bad = CheckHeader(handle, header, headerSize, session)) return bad;
  if ((header->flags.load(std::memory_order_relaxed) & kHeaderPrepared) == 0) return kUnprepared;
  if (header->data.load(std::memory_order_relaxed) == nullptr ||
      header->bufferLength.load(std::memory_order_relaxed) == 0) {
    return kInvalidParam;
  }
  return session->delivery.AddBuffer(header);
}

}  // namespace tessaly
