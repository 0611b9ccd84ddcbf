#include "capture/jack_input.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <new>
#include <thread>
#include <vector>

#include "capture/jack_presence.h"

namespace tessaly {
namespace {

constexpr const char* kClientName = "Tessaly";

class JackInput;
std::vector<const JackInput*> openInputs;  // window thread

class JackInput : public InputSource {
 public:
  JackInput(std::string source, InputDelivery& delivery)
      : source_(std::move(source)), delivery_(delivery) {
    openInputs.push_back(this);
  }
  JackInput(const JackInput&) = delete;
  JackInput& operator=(const JackInput&) = delete;

  // jack_client_close deactivates first: once it has returned, Process never runs again.
  ~JackInput() override {
    if (client_ != nullptr) jack_client_close(client_);
    openInputs.erase(std::find(openInputs.begin(), openInputs.end(), this));
  }

  bool ServerGone() const { return watch_ != nullptr && watch_->ServerGone(); }

  MidiResult Open(const char* portName) {
    watch_ = std::make_unique<JackWatch>();
    if (!watch_->Connect()) return kServerGone;
    jack_status_t status{};
    client_ = jack_client_open(kClientName, JackNoStartServer, &status);
    if (client_ == nullptr) return (status & JackServerFailed) != 0 ? kServerGone : kNotEnabled;
    port_ = jack_port_register(client_, portName, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    if (port_ == nullptr) return Failed();
    if (jack_set_process_callback(client_, &JackInput::Process, this) != 0) return Failed();
    // A server that missed a cycle may have missed our input with it: said as a loss.
    jack_set_xrun_callback(client_, &JackInput::Xrun, this);
    if (!source_.empty()) {
      // The source going (disconnected, or its port unregistered) ends a sysex it left open.
      jack_set_port_connect_callback(client_, &JackInput::Connected, this);
      jack_set_port_registration_callback(client_, &JackInput::Registered, this);
    }
    if (jack_activate(client_) != 0) return Failed();
    if (!source_.empty()) {
      if (!watch_->PortExists(source_)) return kSourceGone;
      const int connected = jack_connect(client_, source_.c_str(), jack_port_name(port_));
      if (connected != 0 && connected != EEXIST) {
        return watch_->PortExists(source_) ? Failed() : kSourceGone;
      }
      WaitForTheLink();
    }
    return Health();
  }

  MidiResult Health() override {
    if (watch_ == nullptr || watch_->ServerGone()) return kServerGone;
    if (!source_.empty() && !watch_->PortExists(source_)) return kSourceGone;
    return kNoError;
  }

 private:
  MidiResult Failed() const { return watch_->ServerGone() ? kServerGone : kNotEnabled; }

  // The server makes a new connection part of its graph at the start of a cycle, not when
  // jack_connect returns: what the source sends before then never reaches us. So the port
  // is not called open before a cycle that began after the connection has run (two cycles
  // from now; a server that runs none, for the half second at most).
  void WaitForTheLink() const {
    // relaxed, here and in Process: a count; nothing is read through it.
    const uint32_t from = cycles_.load(std::memory_order_relaxed);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (cycles_.load(std::memory_order_relaxed) - from < 2 &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  // JACK's process thread, once a cycle.
  static int Process(jack_nframes_t frames, void* self) {
    auto& input = *static_cast<JackInput*>(self);
    // One writer, this thread; relaxed: see WaitForTheLink.
    input.cycles_.store(input.cycles_.load(std::memory_order_relaxed) + 1,
                        std::memory_order_relaxed);
    // acquire: pairs with the release in SourceLeft (a flag; what came before it from the
    // source was read in an earlier cycle). The delivery's producer is this thread, so the
    // close goes in order with the messages.
    if (input.sourceLeft_.exchange(false, std::memory_order_acquire)) input.delivery_.CloseSysex();
    void* buffer = jack_port_get_buffer(input.port_, frames);
    if (buffer == nullptr) return 0;
    const uint32_t count = jack_midi_get_event_count(buffer);
    // One clock read for the cycle: its events arrived together, at its start, and a read per
    // event was a good share of this thread's time in a fast stream.
    const int64_t now = count > 0 ? InputDelivery::NowNs() : 0;
    for (uint32_t i = 0; i < count; ++i) {
      jack_midi_event_t event;
      if (jack_midi_event_get(&event, buffer, i) != 0) {
        // The buffer changed under us (a cycle late): what is left of it is gone.
        input.delivery_.ReportLoss(SystemLoss::kJackReadFailed, count - i);
        break;
      }
      if (event.buffer != nullptr && event.size > 0) {
        input.delivery_.ReceiveAtLater(event.buffer, event.size, now);
      }
    }
    if (count > 0) input.delivery_.Deliver();
    // Events the server had no room for in this cycle's buffer (0 where it never counts).
    const uint32_t lost = jack_midi_get_lost_event_count(buffer);
    if (lost > 0) input.delivery_.ReportLoss(SystemLoss::kJackLostEvents, lost);
    return 0;
  }

  // libjack's notification thread.
  static int Xrun(void* self) {
    static_cast<JackInput*>(self)->delivery_.ReportLoss(SystemLoss::kJackXrun, 0, false);
    return 0;
  }

  // libjack's notification thread, which may not push into the delivery (the process thread
  // does): the next cycle is told through sourceLeft_.
  bool IsSource(jack_port_id_t id) const {
    const jack_port_t* port = jack_port_by_id(client_, id);
    const char* name = port != nullptr ? jack_port_name(port) : nullptr;
    return name != nullptr && source_ == name;
  }
  void SourceLeft() { sourceLeft_.store(true, std::memory_order_release); }  // see Process
  static void Connected(jack_port_id_t a, jack_port_id_t b, int connect, void* self) {
    auto& input = *static_cast<JackInput*>(self);
    if (connect == 0 && jack_port_by_id(input.client_, b) == input.port_ && input.IsSource(a)) {
      input.SourceLeft();
    }
  }
  static void Registered(jack_port_id_t id, int registered, void* self) {
    auto& input = *static_cast<JackInput*>(self);
    if (registered == 0 && input.IsSource(id)) input.SourceLeft();
  }

  const std::string source_;
  InputDelivery& delivery_;
  std::unique_ptr<JackWatch> watch_;
  jack_client_t* client_ = nullptr;
  jack_port_t* port_ = nullptr;
  std::atomic<bool> sourceLeft_{false};
  std::atomic<uint32_t> cycles_{0};  // process cycles run, counted by the process thread
};

}  // namespace

bool DeadJackInputOpen() {
  return std::any_of(openInputs.begin(), openInputs.end(),
                     [](const JackInput* input) { return input->ServerGone(); });
}

MidiResult OpenJackInput(const std::string& source, const char* portName, InputDelivery& delivery,
                         std::unique_ptr<InputSource>& opened) {
  std::unique_ptr<JackInput> input;
  try {
    input = std::make_unique<JackInput>(source, delivery);
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  }
  const MidiResult result = input->Open(portName);
  if (result != kNoError) return result;
  opened = std::move(input);
  return kNoError;
}

}  // namespace tessaly
