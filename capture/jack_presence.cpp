#include "capture/jack_presence.h"

#include <jack/jack.h>
#include <signal.h>
#include <stdlib.h>

#include <cstring>
#include <mutex>

namespace tessaly {
namespace {

void Silent(const char*) {}

constexpr const char* kWatchClientName = "Tessaly watch";
constexpr const char* kEventsAsSent = "jack.fix-midi-events = false";

// libjack's thread, when the server shuts the client down: set the flags and nothing else.
void OnShutdown(std::atomic<bool>* gone, std::atomic<bool>* changed) {
  gone->store(true, std::memory_order_release);
  changed->store(true, std::memory_order_release);
}

}  // namespace

void AskForEventsAsSent() {
  const char* props = getenv("PIPEWIRE_PROPS");
  std::string value;
  if (props == nullptr || *props == '\0') {
    value = std::string("{ ") + kEventsAsSent + " }";
  } else if (std::strstr(props, "jack.fix-midi-events") != nullptr) {
    return;  // the user said it
  } else {
    // The user's properties are an object "{ k = v ... }" or its bare contents; ours goes
    // first, inside.
    value = props;
    const size_t brace = value.find_first_not_of(" \t\n");
    if (brace != std::string::npos && value[brace] == '{') {
      value.insert(brace + 1, std::string(" ") + kEventsAsSent + " ");
    } else {
      value = std::string(kEventsAsSent) + " " + value;
    }
  }
  setenv("PIPEWIRE_PROPS", value.c_str(), 1);
}

void SilenceJackMessages() {
  static std::once_flag once;
  std::call_once(once, [] {
    AskForEventsAsSent();
    // libjack writes to the server's socket; once the server is dead (and our watch lists
    // ports again after that) a write would raise SIGPIPE and end the program. Ignored, the
    // write fails and libjack reports it. A disposition the program set itself is kept.
    struct sigaction pipe {};
    if (sigaction(SIGPIPE, nullptr, &pipe) == 0 && pipe.sa_handler == SIG_DFL) {
      signal(SIGPIPE, SIG_IGN);
    }
    jack_set_error_function(Silent);
    jack_set_info_function(Silent);
  });
}

bool JackServerRunning() {
  SilenceJackMessages();
  jack_status_t status;
  jack_client_t* client = jack_client_open(kWatchClientName, JackNoStartServer, &status);
  if (client == nullptr) return false;
  jack_client_close(client);
  return true;
}

JackWatch::~JackWatch() {
  // Also after the server went away: libjack then only frees what the client held.
  if (client_ != nullptr) jack_client_close(client_);
}

bool JackWatch::Connect() {
  SilenceJackMessages();
  jack_status_t status;
  client_ = jack_client_open(kWatchClientName, JackNoStartServer, &status);
  if (client_ == nullptr) return false;
  // jackd calls the first, PipeWire's libjack only the second (on an activated client).
  jack_on_info_shutdown(
      client_,
      [](jack_status_t, const char*, void* self) {
        auto& watch = *static_cast<JackWatch*>(self);
        OnShutdown(&watch.gone_, &watch.changed_);
      },
      this);
  jack_on_shutdown(
      client_,
      [](void* self) {
        auto& watch = *static_cast<JackWatch*>(self);
        OnShutdown(&watch.gone_, &watch.changed_);
      },
      this);
  // libjack's notification thread: a port came or went.
  jack_set_port_registration_callback(
      client_,
      [](jack_port_id_t, int, void* self) {
        static_cast<JackWatch*>(self)->changed_.store(true, std::memory_order_release);
      },
      this);
  // A watch that cannot be activated still answers PortExists; it only hears less.
  jack_activate(client_);
  return true;
}

bool JackWatch::PortExists(const std::string& fullName) const {
  if (client_ == nullptr || ServerGone()) return false;
  return jack_port_by_name(client_, fullName.c_str()) != nullptr;
}

std::vector<JackWatch::Port> JackWatch::MidiOutputs() const {
  std::vector<Port> ports;
  if (client_ == nullptr || ServerGone()) return ports;
  const char** names = jack_get_ports(client_, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput);
  if (names == nullptr) return ports;
  for (size_t i = 0; names[i] != nullptr; ++i) {
    jack_port_t* port = jack_port_by_name(client_, names[i]);
    const bool physical = port != nullptr && (jack_port_flags(port) & JackPortIsPhysical) != 0;
    ports.push_back({names[i], physical});
  }
  jack_free(names);
  return ports;
}

}  // namespace tessaly
