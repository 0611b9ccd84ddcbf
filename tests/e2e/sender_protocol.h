#pragma once

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

// What the test senders (jack_sender, alsa_sender, jack_burst) share: their command line, the
// hex bytes of their commands, and the loop that reads the commands.
namespace tessaly::e2e {

using SentBytes = std::vector<unsigned char>;

struct SenderOptions {
  std::string name = "tessaly-sender";
  std::string connect;  // empty: offer a port CLIENT:out instead
};

// `--name CLIENT [--connect PORT]`; false, with the usage on standard error, otherwise.
inline bool ParseSenderOptions(int argc, char** argv, const char* program, SenderOptions& options) {
  for (int i = 1; i < argc; i += 2) {
    if (i + 1 < argc && std::strcmp(argv[i], "--name") == 0) {
      options.name = argv[i + 1];
    } else if (i + 1 < argc && std::strcmp(argv[i], "--connect") == 0) {
      options.connect = argv[i + 1];
    } else {
      std::fprintf(stderr, "usage: %s --name CLIENT [--connect PORT]\n", program);
      return false;
    }
  }
  return true;
}

// Hex bytes up to the end of the line or a "/"; false on a token that is not one byte, or when
// there is none.
inline bool ParseHex(std::istringstream& in, SentBytes& bytes) {
  std::string token;
  while (in >> token && token != "/") {
    char* end = nullptr;
    const unsigned long value = std::strtoul(token.c_str(), &end, 16);
    if (*end != '\0' || value > 0xFF) return false;
    bytes.push_back(static_cast<unsigned char>(value));
  }
  return !bytes.empty();
}

// Prints "ready", then runs one command a line until "quit" or the end of input: "die" ends
// the process at once, without closing anything; any other command goes to `run` with the
// rest of its line, which returns false on one it does not know or cannot parse. Returns the
// exit code: 0, or 2 after a bad command (said on standard error).
inline int ServeCommands(const char* program,
                         const std::function<bool(const std::string&, std::istringstream&)>& run) {
  std::printf("ready\n");
  std::fflush(stdout);
  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream in(line);
    std::string command;
    in >> command;
    if (command.empty()) continue;
    if (command == "quit") break;
    if (command == "die") _exit(0);
    if (!run(command, in)) {
      std::fprintf(stderr, "%s: bad command: %s\n", program, line.c_str());
      return 2;
    }
  }
  return 0;
}

// `flood N RATE HEX... [/ K HEX...]`: the message N times at RATE per second, every K-th one
// the second message (when there is one).
struct Flood {
  long count = 0;
  double rate = 0;
  SentBytes message;
  long every = 0;  // 0: no second message
  SentBytes other;
};

// A sender's own ways to carry the protocol's commands.
struct SenderCommands {
  std::function<void(SentBytes&)> send;  // one message
  std::function<void(Flood&)> flood;     // prints "sent N dropped D"
  std::function<void()> sync;            // returns once what was sent is carried
};

// The senders' protocol on standard input: send, flood, sync (then "synced"), die, quit.
inline int ServeSender(const char* program, const SenderCommands& sender) {
  return ServeCommands(program, [&](const std::string& command, std::istringstream& in) {
    if (command == "send") {
      SentBytes bytes;
      if (!ParseHex(in, bytes)) return false;
      sender.send(bytes);
    } else if (command == "flood") {
      Flood flood;
      in >> flood.count >> flood.rate;
      bool good = ParseHex(in, flood.message);
      if (good && in >> flood.every) good = flood.every > 0 && ParseHex(in, flood.other);
      if (flood.count <= 0 || flood.rate <= 0 || !good) return false;
      sender.flood(flood);
    } else if (command == "sync") {
      sender.sync();
      std::printf("synced\n");
      std::fflush(stdout);
    } else {
      return false;
    }
    return true;
  });
}

// Calls `send(i)` for each i below `count`, at `rate` per second: everything due by now goes
// out, then a short sleep, so that the pace holds to within 1 ms.
inline void Paced(long count, double rate, const std::function<void(long)>& send) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  long sent = 0;
  while (sent < count) {
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    long due = static_cast<long>(elapsed * rate) + 1;
    if (due > count) due = count;
    for (; sent < due; ++sent) send(sent);
    if (sent < count) std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
}

}  // namespace tessaly::e2e
