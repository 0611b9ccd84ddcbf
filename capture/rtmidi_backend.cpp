#include "capture/rtmidi_backend.h"

#include <RtMidi.h>

#include <algorithm>
#include <atomic>
#include <new>

#include "capture/alsa_presence.h"
#include "capture/jack_input.h"
#include "capture/jack_presence.h"

// RtMidi's traps, each handled here:
//
// 1. Ignored types. RtMidiIn drops system exclusive, timing (clock, time code) and active
//    sensing unless ignoreTypes(false, false, false) is called: a monitor wants them all.
// 2. Time stamps. The stamp RtMidi passes is the time since the previous message (0 for the
//    first), not since any start; InputDelivery stamps each message itself from the monotonic
//    clock, so the stamp is ignored.
// 3. The message buffer. The vector RtMidi passes is its own, reused for the next message and
//    valid only during the call; InputDelivery::Receive copies the bytes before returning.
// 4. Errors. With an error callback set, RtMidi no longer throws: it reports through the
//    callback and returns as if nothing happened. Without one, it prints to standard error and
//    throws for errors (not for warnings). So every object gets a callback that records the
//    error, every call is followed by a look at what was recorded, and everything is also in
//    try/catch, for constructors (which throw before a callback can be set) and std errors.
// 5. Construction talks to the system. RtMidiIn's JACK constructor connects to the server at
//    once and its ALSA constructor opens the sequencer, each printing to standard error when
//    there is none; so both systems are probed quietly first (alsa_presence, jack_presence).
// 6. Set the callback before opening, or the first messages wait in RtMidi's queue, which is
//    never read.
// 7. JACK input. RtMidi's JACK input ignores a failed jack_midi_event_get and hands the event
//    before it over again; it also glues an event that starts F0 without ending F7 to the
//    following events. JACK ports are therefore opened by our own input (jack_input.h);
//    RtMidi only lists them.
// 8. A dead JACK server. RtMidi registers no shutdown callback and keeps its dead client; its
//    calls then fail quietly. Listing goes through a short-lived client, and our JACK input
//    has a watch client of its own (JackWatch).
// 9. Indices move. RtMidi numbers ports by their position at the moment, which changes when
//    programs come and go; a port is found again by its name at open.
// 10. The destructor is the barrier: once ~RtMidiIn has returned (JACK: the client closed;
//     ALSA: the input thread joined), the callback is never called again.
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

MidiResult ResultOf(int type) {
  switch (type) {
    case RtMidiError::INVALID_DEVICE:
    case RtMidiError::INVALID_PARAMETER:
    case RtMidiError::NO_DEVICES_FOUND:
      return kBadDeviceId;
    case RtMidiError::MEMORY_ERROR:
      return kNoMemory;
    default:
      return kNotEnabled;
  }
}

// RtMidi's input thread (ALSA) or the JACK process thread.
void OnRtMidiMessage(double /*deltaSeconds: trap 2*/, std::vector<unsigned char>* message,
                     void* delivery) {
  if (message == nullptr || message->empty()) return;
  // Trap 3: copied here, before RtMidi reuses the vector.
  static_cast<InputDelivery*>(delivery)->Receive(message->data(), message->size());
}

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

const char* ApiLabel(RtMidi::Api api) {
  return api == RtMidi::LINUX_ALSA ? "ALSA" : "JACK";
}

bool Available(RtMidi::Api api) {
  if (!Compiled(api)) return false;
  return api == RtMidi::LINUX_ALSA ? AlsaSequencerAvailable() : JackServerRunning();
}

// One open ALSA port through RtMidi, feeding an InputDelivery (JACK input: jack_input.h).
class RtMidiSource : public InputSource {
 public:
  RtMidiSource(RtMidi::Api api, bool isVirtual, std::string rtName)
      : api_(api), isVirtual_(isVirtual), rtName_(std::move(rtName)) {}

  MidiResult Open(InputDelivery& delivery) {
    if (!AlsaSequencerAvailable()) return kNoDriver;
    try {
      input_ = std::make_unique<RtMidiIn>(api_, kClientName);
      input_->setErrorCallback(&ErrorRecord::Record, &errors_);
      input_->ignoreTypes(false, false, false);          // trap 1
      input_->setCallback(&OnRtMidiMessage, &delivery);  // trap 6
      if (errors_.AnyFailure()) return Failed();
      if (isVirtual_) {
        input_->openVirtualPort(kVirtualPortName);
      } else {
        const int index = FindSource(*input_);  // trap 9
        if (index < 0) return errors_.AnyFailure() ? Failed() : kSourceGone;
        input_->openPort(static_cast<unsigned>(index), kInputPortName);
        if (!errors_.AnyFailure() && !input_->isPortOpen()) return kNotEnabled;
      }
    } catch (const RtMidiError& error) {
      return Failed(error.getType());
    } catch (const std::bad_alloc&) {
      return kNoMemory;
    } catch (const std::exception&) {
      return kUnspecifiedError;
    }
    if (errors_.AnyFailure()) return Failed();
    return Health();
  }

  MidiResult Health() override {
    if (isVirtual_) return kNoError;
    const std::vector<std::string> names = SourceNames(api_);
    return std::find(names.begin(), names.end(), rtName_) != names.end() ? kNoError : kSourceGone;
  }

 private:
  int FindSource(RtMidiIn& input) {
    const unsigned count = input.getPortCount();
    for (unsigned i = 0; i < count; ++i) {
      if (input.getPortName(i) == rtName_) return static_cast<int>(i);
    }
    return -1;
  }

  MidiResult Failed(int type = -1) { return ResultOf(type >= 0 ? type : errors_.Type()); }

  const RtMidi::Api api_;
  const bool isVirtual_;
  const std::string rtName_;
  ErrorRecord errors_;               // outlives input_, which reports into it
  std::unique_ptr<RtMidiIn> input_;  // destroyed first: trap 10
};

}  // namespace

RtMidiBackend::RtMidiBackend() {
  SilenceJackMessages();
}

RtMidiBackend::~RtMidiBackend() = default;

std::vector<PortListing> RtMidiBackend::ListPorts() {
  entries_.clear();
  std::vector<PortListing> names;
  std::vector<RtMidi::Api> present;
  // JACK's ports are listed by JackBackend (jack_backend.h).
  for (RtMidi::Api api : {RtMidi::LINUX_ALSA}) {
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
  // JACK input is ours (see jack_input.h); RtMidi lists the JACK ports and serves ALSA.
  if (entry.api == RtMidi::UNIX_JACK) {
    return OpenJackInput(entry.isVirtual ? std::string() : entry.rtName,
                         entry.isVirtual ? kVirtualPortName : kInputPortName, delivery, source);
  }
  std::unique_ptr<RtMidiSource> opened;
  try {
    opened = std::make_unique<RtMidiSource>(static_cast<RtMidi::Api>(entry.api), entry.isVirtual,
                                            entry.rtName);
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  }
  const MidiResult result = opened->Open(delivery);
  if (result != kNoError) return result;
  source = std::move(opened);
  return kNoError;
}

}  // namespace tessaly
