#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

// What the test senders (jack_sender, alsa_sender) share: their command line and the hex bytes
// of their commands.
namespace tessaly::e2e {

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
inline bool ParseHex(std::istringstream& in, std::vector<unsigned char>& bytes) {
  std::string token;
  while (in >> token && token != "/") {
    char* end = nullptr;
    const unsigned long value = std::strtoul(token.c_str(), &end, 16);
    if (*end != '\0' || value > 0xFF) return false;
    bytes.push_back(static_cast<unsigned char>(value));
  }
  return !bytes.empty();
}

}  // namespace tessaly::e2e
