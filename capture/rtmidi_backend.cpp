#include "capture/rtmidi_backend.h"

#include <RtMidi.h>

#include <algorithm>
#include <atomic>
#include <new>

#include "capture/jack_input.h"
#include "capture/jack_presence.h"

// RtMidi is used only to list JACK's ports (ALSA's are ours: alsa_backend.h, alsa_input.h;
// RtMidi's ALSA input lost a flushed kernel FIFO with only a line on standard error). Its traps
// that still matter here:
//
// 1. Errors. With an error callback set, RtMidi no longer throws: it reports through the
//    callback and returns as if nothing happened. Without one, it prints to standard error and
//    throws for errors (not for warnings). So every object gets a callback that records the
//    error, every call is followed by a look at what was recorded, and everything is also in
//    try/catch, for constructors (which throw before a callback can be set) and std errors.
// 2. Construction talks to the system. RtMidiIn's JACK constructor connects to the server at
//    once, printing to standard error when there is none; so the server is probed quietly
//    first (jack_presence).
// 3. JACK input. RtMidi's JACK input ignores a failed jack_midi_event_get and hands the event
//    before it over again; it also glues an event that starts F0 without ending F7 to the
//    following events. JACK ports are therefore opened by our own input (jack_input.h).
// 4. A dead JACK server. RtMidi registers no shutdown callback and keeps its dead client; its
//    calls then fail quietly. Listing goes through a short-lived client, and our JACK input
//    has a watch client of its own (JackWatch).
// 5. Indices move. RtMidi numbers ports by their position at the moment, which changes when
//    programs come and go; a port is found again by its name at open.
namespace tessaly {
namespace {

constexpr const char* kClientName = "Tessaly";
constexpr const char* kInputPortName = "input";

// Records the first error RtMidi reports through its callback (trap 4). RtMidi calls it on
// the thread that made the failing call; atomics in case its own input thread ever reports.
class ErrorRecord {
 public:
  static void Record(RtMidiError::Type type, const std::string&, void* self) {
    int none = kNone;
    static_cast<ErrorRecord*>(self)->type_.compare_exchange_strong(none, type,
                                                                   std::memory_order_relaxed);
  }
  bool Any() const { return type_.load(std::memory_order_relaxed) != kNone; }
  bool AnyFailure() const {
    const int type = type_.load(std::memory_order_relaxed);
    return type != kNone && type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING;
  }
  int Type() const { return type_.load(std::memory_order_relaxed); }
  void Clear() { type_.store(kNone, std::memory_order_relaxed); }

 private:
  static constexpr int kNone = -1;
  std::atomic<int> type_{kNone};
};

bool Compiled(RtMidi::Api api) {
  std::vector<RtMidi::Api> apis;
  RtMidi::getCompiledApi(apis);
  return std::find(apis.begin(), apis.end(), api) != apis.end();
}

// The source names RtMidi lists for `api` now; empty when it cannot list them.
std::vector<std::string> SourceNames(RtMidi::Api api) {
  std::vector<std::string> names;
  try {
    ErrorRecord errors;
    RtMidiIn lister(api, kClientName);
    lister.setErrorCallback(&ErrorRecord::Record, &errors);
    const unsigned count = lister.getPortCount();
    for (unsigned i = 0; i < count && !errors.Any(); ++i) {
      std::string name = lister.getPortName(i);
      if (!errors.Any() && !name.empty()) names.push_back(std::move(name));
    }
    if (errors.AnyFailure()) names.clear();
  } catch (const std::exception&) {
    names.clear();
  }
  return names;
}

const char* ApiLabel(RtMidi::Api) {
  return "JACK";
}

bool Available(RtMidi::Api api) {
  if (!Compiled(api)) return false;
  return JackServerRunning();
}

}  // namespace

RtMidiBackend::RtMidiBackend() {
  SilenceJackMessages();
}

RtMidiBackend::~RtMidiBackend() = default;

std::vector<PortListing> RtMidiBackend::ListPorts() {
  entries_.clear();
  std::vector<PortListing> names;
  std::vector<RtMidi::Api> present;
  // ALSA ports are listed and opened by our own backend (alsa_backend.h).
  for (RtMidi::Api api : {RtMidi::UNIX_JACK}) {
    if (!Available(api)) continue;
    present.push_back(api);
    for (std::string& rtName : SourceNames(api)) {
      names.push_back({std::string(ApiLabel(api)) + ": " + rtName, PortGroup::kProgram});
      entries_.push_back({api, false, std::move(rtName)});
    }
  }
  for (RtMidi::Api api : present) {
    names.push_back(
        {std::string(kVirtualPortName) + " (" + ApiLabel(api) + " virtual port)", PortGroup::kOwn});
    entries_.push_back({api, true, {}});
  }
  return names;
}

MidiResult RtMidiBackend::Open(size_t index, InputDelivery& delivery,
                               std::unique_ptr<InputSource>& source) {
  if (index >= entries_.size()) return kBadDeviceId;
  const Entry& entry = entries_[index];
  // JACK input is ours (see jack_input.h); RtMidi only lists the JACK ports.
  return OpenJackInput(entry.isVirtual ? std::string() : entry.rtName,
                       entry.isVirtual ? kVirtualPortName : kInputPortName, delivery, source);
}

}  // namespace tessaly
