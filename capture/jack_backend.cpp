#include "capture/jack_backend.h"

#include <new>

#include "capture/jack_input.h"

namespace tessaly {
namespace {

constexpr const char* kInputPortName = "input";
// While a server may be starting: once a second, for kProbeWhile after its socket appeared.
constexpr std::chrono::seconds kProbePeriod{1};
constexpr std::chrono::seconds kProbeWhile{10};
// Otherwise: a server that started where we do not look is listed this late at worst.
constexpr std::chrono::seconds kProbeFallback{30};

}  // namespace

PortListing JackListing(const std::string& fullName, bool physical) {
  if (!physical) return {"JACK: " + fullName, PortGroup::kProgram};
  return {"JACK: " + fullName + " (a device again, bridged into JACK)", PortGroup::kBridged};
}

JackBackend::JackBackend() {
  SilenceJackMessages();
}

JackBackend::~JackBackend() = default;

JackWatch* JackBackend::Watch() {
  if (watch_ != nullptr && !watch_->ServerGone()) return watch_.get();
  watch_.reset();
  auto watch = std::make_unique<JackWatch>();
  if (!watch->Connect()) return nullptr;
  watch->TakeChange();  // what it heard so far is in the listing about to be made
  watch_ = std::move(watch);
  return watch_.get();
}

uint64_t JackBackend::PortsChanged() {
  if (ListChanged()) ++changes_;
  return changes_;
}

bool JackBackend::ListChanged() {
  // A server that was absent at the last listing may have started since; one that is there
  // says so through its callback.
  if (watch_ != nullptr && !watch_->ServerGone()) return watch_->TakeChange();
  // The server went away: while our input of it is open the list stays as it was (and each
  // index names the same port when the server comes back); then it is made again.
  if (DeadJackInputOpen()) return false;
  if (watch_ != nullptr) {
    watch_.reset();
    return true;
  }
  const auto now = std::chrono::steady_clock::now();
  // Read at every tick, so that what appeared is seen at once (one read that finds nothing).
  if (serverWatch_.Appeared()) probeUntil_ = now + kProbeWhile;
  const bool starting = now < probeUntil_ || !serverWatch_.Watching();
  if (now - lastProbe_ < (starting ? kProbePeriod : kProbeFallback)) {
    return false;
  }
  lastProbe_ = now;
  return JackServerRunning();
}

std::vector<PortListing> JackBackend::ListPorts() {
  if (watch_ != nullptr && watch_->ServerGone() && DeadJackInputOpen()) return listed_;
  entries_.clear();
  listed_.clear();
  std::vector<PortListing> names;
  JackWatch* watch = Watch();
  if (watch == nullptr) return names;
  for (JackWatch::Port& port : watch->MidiOutputs()) {
    names.push_back(JackListing(port.name, port.physical));
    entries_.push_back({false, std::move(port.name)});
  }
  names.push_back({std::string(kVirtualPortName) + " (JACK virtual port)", PortGroup::kOwn});
  entries_.push_back({true, {}});
  listed_ = names;
  return names;
}

MidiResult JackBackend::Open(size_t index, InputDelivery& delivery,
                             std::unique_ptr<InputSource>& source) {
  if (index >= entries_.size()) return kBadDeviceId;
  const Entry& entry = entries_[index];
  // A dead server's clients are all closed before a new one opens (see DeadJackInputOpen).
  if (watch_ != nullptr && watch_->ServerGone() && !DeadJackInputOpen()) watch_.reset();
  return OpenJackInput(entry.isVirtual ? std::string() : entry.port,
                       entry.isVirtual ? kVirtualPortName : kInputPortName, delivery, source);
}

}  // namespace tessaly
