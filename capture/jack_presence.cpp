#include "capture/jack_presence.h"

#include <jack/jack.h>

#include <mutex>

namespace tessaly {
namespace {

void Silent(const char*) {}

constexpr const char* kWatchClientName = "Tessaly watch";

// libjack's thread, when the server shuts the client down: set the flag and nothing else.
void OnShutdown(jack_status_t, const char*, void* gone) {
  static_cast<std::atomic<bool>*>(gone)->store(true, std::memory_order_release);
}

}  // namespace

void SilenceJackMessages() {
  static std::once_flag once;
  std::call_once(once, [] {
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
  jack_on_info_shutdown(client_, OnShutdown, &gone_);
  return true;
}

bool JackWatch::PortExists(const std::string& fullName) const {
  if (client_ == nullptr || ServerGone()) return false;
  return jack_port_by_name(client_, fullName.c_str()) != nullptr;
}

}  // namespace tessaly
