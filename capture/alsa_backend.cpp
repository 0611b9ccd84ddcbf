#include "capture/alsa_backend.h"

#include <alsa/asoundlib.h>
#include <poll.h>

#include <system_error>

#include "capture/alsa_input.h"
#include "capture/alsa_presence.h"

namespace tessaly {
namespace {

constexpr unsigned kReadable = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;

bool Announcement(int type) {
  return type == SND_SEQ_EVENT_CLIENT_START || type == SND_SEQ_EVENT_CLIENT_EXIT ||
         type == SND_SEQ_EVENT_CLIENT_CHANGE || type == SND_SEQ_EVENT_PORT_START ||
         type == SND_SEQ_EVENT_PORT_EXIT || type == SND_SEQ_EVENT_PORT_CHANGE;
}

}  // namespace

AlsaBackend::AlsaBackend() {
  StartWatch();
}

AlsaBackend::~AlsaBackend() {
  if (watch_.joinable()) {
    stop_.Post();
    watch_.join();
  }
  if (seq_ != nullptr) snd_seq_close(seq_);
}

void AlsaBackend::StartWatch() {
  if (!AlsaSequencerAvailable()) return;
  if (snd_seq_open(&seq_, "default", SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK) < 0) {
    seq_ = nullptr;
    return;
  }
  snd_seq_set_client_name(seq_, "Tessaly watch");
  const int port = snd_seq_create_simple_port(seq_, "announce",
                                              SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT,
                                              SND_SEQ_PORT_TYPE_APPLICATION);
  if (port < 0 || stop_.fd() < 0 ||
      snd_seq_connect_from(seq_, port, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE) < 0) {
    return;  // listing still works; changes are then seen at the next listing only
  }
  try {
    watch_ = std::thread([this] { Watch(); });
  } catch (const std::system_error&) {
  }
}

// The watch's thread: only reads events (alsa-lib's input buffer is its own); the window
// thread's queries on the same client are ioctls that do not touch it.
void AlsaBackend::Watch() {
  pollfd fds[2];
  snd_seq_poll_descriptors(seq_, fds, 1, POLLIN);
  fds[1] = {stop_.fd(), POLLIN, 0};
  for (;;) {
    bool changed = false;
    for (;;) {
      snd_seq_event_t* ev = nullptr;
      const int result = snd_seq_event_input(seq_, &ev);
      if (result == -ENOSPC) {
        changed = true;  // announcements lost: assume the list changed
        continue;
      }
      if (result < 0 || ev == nullptr) break;
      if (Announcement(ev->type)) changed = true;
    }
    if (changed) changes_.fetch_add(1, std::memory_order_relaxed);  // relaxed: a count only
    fds[0].revents = fds[1].revents = 0;
    if (poll(fds, 2, -1) < 0 && errno != EINTR) return;
    if (fds[1].revents != 0) return;
  }
}

std::vector<PortListing> AlsaBackend::ListPorts() {
  entries_.clear();
  if (seq_ == nullptr) return {};
  snd_seq_client_info_t* client;
  snd_seq_port_info_t* port;
  snd_seq_client_info_alloca(&client);
  snd_seq_port_info_alloca(&port);
  const pid_t self = getpid();
  snd_seq_client_info_set_client(client, -1);
  while (snd_seq_query_next_client(seq_, client) >= 0) {
    const int id = snd_seq_client_info_get_client(client);
    if (id == SND_SEQ_CLIENT_SYSTEM) continue;
    // Our own clients (the watch, an open port) are none of the user's sources.
    if (snd_seq_client_info_get_pid(client) == self) continue;
    const bool kernel = snd_seq_client_info_get_type(client) == SND_SEQ_KERNEL_CLIENT;
    snd_seq_port_info_set_client(port, id);
    snd_seq_port_info_set_port(port, -1);
    while (snd_seq_query_next_port(seq_, port) >= 0) {
      const unsigned caps = snd_seq_port_info_get_capability(port);
      if ((caps & kReadable) != kReadable || (caps & SND_SEQ_PORT_CAP_NO_EXPORT) != 0) continue;
      entries_.push_back({id, snd_seq_port_info_get_port(port),
                          snd_seq_client_info_get_name(client), snd_seq_port_info_get_name(port),
                          kernel});
    }
  }
  std::vector<PortListing> listed = OrderAlsaPorts(entries_);
  listed.push_back({std::string(kVirtualPortName) + " (ALSA virtual port)", PortGroup::kOwn});
  return listed;
}

MidiResult AlsaBackend::Open(size_t index, InputDelivery& delivery,
                             std::unique_ptr<InputSource>& source) {
  if (index > entries_.size()) return kBadDeviceId;
  if (index == entries_.size()) return OpenAlsaInput(-1, 0, delivery, source);
  return OpenAlsaInput(entries_[index].client, entries_[index].port, delivery, source);
}

}  // namespace tessaly
