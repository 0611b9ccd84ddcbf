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
#include <unistd.h>

#include <RtMidi.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/sender_options.h"

namespace {

using tessaly::e2e::ParseHex;

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

// Hex bytes up to the end of the line or a "/".
// Long enough for several JACK periods at the sizes the tests use.
void LetJackCarry() {
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
}

void Flood(RtMidiOut& out, long count, double rate, std::vector<unsigned char>& message, long every,
           std::vector<unsigned char>& other) {
  using Clock = std::chrono::steady_clock;
  const uint64_t droppedBefore = jackDropped.load();
  const auto start = Clock::now();
  long sent = 0;
  while (sent < count) {
    // Everything due by now goes out, then a short sleep: the pace holds to within 1 ms.
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    long due = static_cast<long>(elapsed * rate) + 1;
    if (due > count) due = count;
    for (; sent < due; ++sent) {
      out.sendMessage(every > 0 && (sent + 1) % every == 0 ? &other : &message);
    }
    if (sent < count) std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  LetJackCarry();
  std::printf("sent %ld dropped %llu\n", sent,
              static_cast<unsigned long long>(jackDropped.load() - droppedBefore));
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  tessaly::e2e::SenderOptions options;
  if (!tessaly::e2e::ParseSenderOptions(argc, argv, "jack_sender", options)) return 2;
  const std::string& name = options.name;
  const std::string& connect = options.connect;
  jack_set_error_function(OnJackError);
  jack_set_info_function(OnJackInfo);
  try {
    RtMidiOut out(RtMidi::UNIX_JACK, name);
    out.setErrorCallback(&OnRtMidiError);
    if (connect.empty()) {
      out.openVirtualPort("out");
    } else {
      unsigned port = 0;
      const unsigned count = out.getPortCount();
      while (port < count && out.getPortName(port).find(connect) == std::string::npos) ++port;
      if (port == count) {
        std::fprintf(stderr, "jack_sender: no input port named like %s\n", connect.c_str());
        return 1;
      }
      out.openPort(port, "out");
    }
    std::printf("ready\n");
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) {
      std::istringstream in(line);
      std::string command;
      in >> command;
      std::vector<unsigned char> bytes;
      if (command == "send" && ParseHex(in, bytes)) {
        out.sendMessage(&bytes);
      } else if (command == "flood") {
        long count = 0;
        double rate = 0;
        in >> count >> rate;
        long every = 0;
        std::vector<unsigned char> other;
        bool good = ParseHex(in, bytes);
        const bool mix = good && static_cast<bool>(in >> every);
        if (mix) good = every > 0 && ParseHex(in, other);
        if (count <= 0 || rate <= 0 || !good) {
          std::fprintf(stderr, "jack_sender: bad flood: %s\n", line.c_str());
          return 2;
        }
        Flood(out, count, rate, bytes, mix ? every : 0, other);
      } else if (command == "sync") {
        LetJackCarry();
        std::printf("synced\n");
        std::fflush(stdout);
      } else if (command == "die") {
        _exit(0);
      } else if (command == "quit") {
        break;
      } else if (!command.empty()) {
        std::fprintf(stderr, "jack_sender: bad command: %s\n", line.c_str());
        return 2;
      }
    }
    LetJackCarry();
  } catch (const RtMidiError& error) {
    std::fprintf(stderr, "jack_sender: %s\n", error.what());
    return 1;
  }
  return 0;
}
