// Preloaded into the monitor by one fault-injection test: jack_midi_event_get fails for every
// event past the first TESSALY_SHIM_READABLE_EVENTS of a cycle, as it does when a cycle's
// buffer is cleared under a client that is late reading it.
#include <dlfcn.h>
#include <jack/midiport.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

namespace {
using EventGet = int (*)(jack_midi_event_t*, void*, uint32_t);
}  // namespace

extern "C" int jack_midi_event_get(jack_midi_event_t* event, void* portBuffer,
                                   uint32_t eventIndex) {
  // JACK's process thread only, so plain statics; the first call sets them.
  static const EventGet real = reinterpret_cast<EventGet>(dlsym(RTLD_NEXT, "jack_midi_event_get"));
  static const long readable = [] {
    const char* text = std::getenv("TESSALY_SHIM_READABLE_EVENTS");
    return text != nullptr ? std::atol(text) : 0L;
  }();
  if (static_cast<long>(eventIndex) >= readable) return -ENODATA;
  return real(event, portBuffer, eventIndex);
}
