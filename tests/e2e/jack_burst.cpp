// A JACK sender of bursts for the end-to-end tests: writes many events in one JACK cycle,
// straight into its port buffer, and says how many the library took.
//
//   jack_burst --name CLIENT [--physical]
//
// Offers an output port CLIENT:out (flagged as a device's port with --physical) and prints
// "ready". Commands on standard input, one per line:
//
//   burst N HEX...   the message N times in the next cycle; prints "written W of N at frame F"
//                    (W: the writes jack_midi_event_write accepted; F: that cycle's
//                    jack_last_frame_time)
//   die              ends the process at once, without closing anything
//   quit (or end of input)
#include <jack/jack.h>
#include <jack/midiport.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/sender_protocol.h"

namespace {

jack_port_t* port = nullptr;
std::vector<unsigned char> message;
std::atomic<long> wanted{0};           // set by main, taken by the process callback
std::atomic<long> written{-1};         // set by the process callback once the burst is written
std::atomic<jack_nframes_t> frame{0};  // the cycle it was written in, set before `written`
jack_client_t* client = nullptr;

int Process(jack_nframes_t frames, void*) {
  void* buffer = jack_port_get_buffer(port, frames);
  jack_midi_clear_buffer(buffer);
  const long count = wanted.exchange(0, std::memory_order_acquire);
  if (count == 0) return 0;
  long ok = 0;
  for (long i = 0; i < count; ++i) {
    if (jack_midi_event_write(buffer, 0, message.data(), message.size()) == 0) ++ok;
  }
  frame.store(jack_last_frame_time(client), std::memory_order_relaxed);  // published below
  written.store(ok, std::memory_order_release);
  return 0;
}

void Quiet(const char*) {}

}  // namespace

int main(int argc, char** argv) {
  std::string name = "tessaly-burst";
  unsigned long flags = JackPortIsOutput;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--name") == 0 && i + 1 < argc) {
      name = argv[++i];
    } else if (std::strcmp(argv[i], "--physical") == 0) {
      flags |= JackPortIsPhysical | JackPortIsTerminal;
    } else {
      std::fprintf(stderr, "usage: jack_burst --name CLIENT [--physical]\n");
      return 2;
    }
  }
  jack_set_error_function(Quiet);
  jack_set_info_function(Quiet);
  client = jack_client_open(name.c_str(), JackNoStartServer, nullptr);
  if (client == nullptr) {
    std::fprintf(stderr, "jack_burst: no JACK server\n");
    return 1;
  }
  port = jack_port_register(client, "out", JACK_DEFAULT_MIDI_TYPE, flags, 0);
  if (port == nullptr || jack_set_process_callback(client, Process, nullptr) != 0 ||
      jack_activate(client) != 0) {
    std::fprintf(stderr, "jack_burst: cannot make the port\n");
    return 1;
  }
  const int code = tessaly::e2e::ServeCommands("jack_burst", [](const std::string& command,
                                                                std::istringstream& in) {
    long count = 0;
    std::vector<unsigned char> bytes;
    if (command != "burst" || !(in >> count) || count <= 0 || !tessaly::e2e::ParseHex(in, bytes))
      return false;
    message = bytes;  // the process callback reads it only once `wanted` is set
    written.store(-1);
    wanted.store(count, std::memory_order_release);
    while (written.load(std::memory_order_acquire) < 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    // A few cycles for the server to carry it.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::printf("written %ld of %ld at frame %u\n", written.load(), count,
                frame.load(std::memory_order_relaxed));
    std::fflush(stdout);
    return true;
  });
  if (code != 0) return code;
  jack_client_close(client);
  return 0;
}
