#include "capture/jack_server_watch.h"

#include <stdlib.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cstring>
#include <utility>

namespace tessaly {
namespace {

std::vector<std::string> ServerFolders() {
  std::vector<std::string> folders = {"/dev/shm"};
  // PipeWire's own order for its socket's folder.
  for (const char* name : {"PIPEWIRE_RUNTIME_DIR", "XDG_RUNTIME_DIR"}) {
    const char* folder = getenv(name);
    if (folder != nullptr && *folder != '\0') {
      folders.emplace_back(folder);
      break;
    }
  }
  return folders;
}

// jackd's socket "jack_SERVER_UID_0" for the server libjack will ask (so that other servers
// coming and going do not count), PipeWire's "pipewire-0". (jack1 makes its socket a folder
// deeper, where only the fallback finds it.)
bool IsServerName(const std::string& server, const char* name) {
  const std::string jackd = "jack_" + server + "_";
  return std::strncmp(name, jackd.c_str(), jackd.size()) == 0 ||
         std::strncmp(name, "pipewire-", 9) == 0;
}

}  // namespace

JackServerWatch::JackServerWatch() {
  const char* server = getenv("JACK_DEFAULT_SERVER");
  server_ = server != nullptr && *server != '\0' ? server : "default";
  Watch(ServerFolders());
}

JackServerWatch::JackServerWatch(const std::vector<std::string>& folders, std::string server)
    : server_(std::move(server)) {
  Watch(folders);
}

JackServerWatch::~JackServerWatch() {
  if (fd_ >= 0) close(fd_);
}

void JackServerWatch::Watch(const std::vector<std::string>& folders) {
  fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ < 0) return;
  for (const std::string& folder : folders) {
    if (inotify_add_watch(fd_, folder.c_str(), IN_CREATE | IN_MOVED_TO | IN_ONLYDIR) >= 0) {
      ++watches_;
    }
  }
}

bool JackServerWatch::Appeared() {
  if (fd_ < 0) return false;
  bool appeared = false;
  // Aligned for the records; room for many (a name is at most NAME_MAX + 1 bytes).
  alignas(inotify_event) char buffer[16 * 1024];
  for (;;) {
    const ssize_t n = read(fd_, buffer, sizeof buffer);
    if (n <= 0) break;  // nothing more (EAGAIN), or an error: asked again next time
    for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      if (at + static_cast<ssize_t>(sizeof(inotify_event) + event->len) > n) break;
      // An overflowed queue lost names: one of them may have been a server's.
      if ((event->mask & IN_Q_OVERFLOW) != 0) appeared = true;
      if (event->len > 0 && IsServerName(server_, event->name)) appeared = true;
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  return appeared;
}

}  // namespace tessaly
