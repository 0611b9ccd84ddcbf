// A MIDI sender for the end-to-end tests and the benchmark: RtMidiOut on JACK, driven by
// commands on standard input, one per line.
//
//   jack_sender --name CLIENT [--connect PORT]
//
// Without --connect it offers an output port CLIENT:out for the monitor to connect to; with
// it, it connects its output to the first JACK input port whose name contains PORT (the
// monitor's virtual input port). It prints "ready" once the port exists. Commands:
//
//   send HEX...              one message (bytes in hex, any kind, malformed ones too)
//   flood N RATE HEX...      the message N times at RATE per second; prints "sent N dropped D"
//                            (D: events the JACK port buffer had no room for)
//   flood N RATE HEX... / K HEX...
//                            the same, but every K-th event is the second message (a sysex
//                            mix); prints "sent N dropped D"
//   sync                     waits until JACK has carried what was sent; prints "synced"
//   die                      ends the process at once, without closing anything
//   quit (or end of input)   waits for JACK to carry what was sent, closes, exits 0
#include <jack/jack.h>

#include <RtMidi.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "tests/e2e/sender_protocol.h"

namespace {

using tessaly::e2e::Flood;
using tessaly::e2e::SentBytes;

std::atomic<uint64_t> jackDropped{0};

// libjack reports a full port buffer through its error function; count it, print nothing.
void OnJackError(const char* message) {
  if (std::strstr(message, "enough room") != nullptr) jackDropped.fetch_add(1);
}
void OnJackInfo(const char*) {}

void OnRtMidiError(RtMidiError::Type type, const std::string& text, void*) {
  if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING) {
    std::fprintf(stderr, "jack_sender: %s\n", text.c_str());
  }
}

// Long enough for several JACK periods at the sizes the tests use.
void LetJackCarry() {
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
}

void SendFlood(RtMidiOut& out, Flood& flood) {
  const uint64_t droppedBefore = jackDropped.load();
  tessaly::e2e::Paced(flood.count, flood.rate, [&](long i) {
    out.sendMessage(flood.every > 0 && (i + 1) % flood.every == 0 ? &flood.other : &flood.message);
  });
  LetJackCarry();
  std::printf("sent %ld dropped %llu\n", flood.count,
              static_cast<unsigned long long>(jackDropped.load() - droppedBefore));
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  tessaly::e2e::SenderOptions options;
  if (!tessaly::e2e::ParseSenderOptions(argc, argv, "jack_sender", options)) return 2;
  jack_set_error_function(OnJackError);
  jack_set_info_function(OnJackInfo);
  try {
    RtMidiOut out(RtMidi::UNIX_JACK, options.name);
    out.setErrorCallback(&OnRtMidiError);
    if (options.connect.empty()) {
      out.openVirtualPort("out");
    } else {
      unsigned port = 0;
      const unsigned count = out.getPortCount();
      while (port < count && out.getPortName(port).find(options.connect) == std::string::npos)
        ++port;
      if (port == count) {
        std::fprintf(stderr, "jack_sender: no input port named like %s\n", options.connect.c_str());
        return 1;
      }
      out.openPort(port, "out");
    }
    const int code = tessaly::e2e::ServeSender(
        "jack_sender", {[&](SentBytes& bytes) { out.sendMessage(&bytes); },
                        [&](Flood& flood) { SendFlood(out, flood); }, LetJackCarry});
    if (code != 0) return code;
    LetJackCarry();
  } catch (const RtMidiError& error) {
    std::fprintf(stderr, "jack_sender: %s\n", error.what());
    return 1;
  }
  return 0;
}
