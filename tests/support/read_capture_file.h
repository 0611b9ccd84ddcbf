#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "capture/capture_file_reader.h"

namespace tessaly::testing {

// What a capture file reader handed over, as text: "<ns> <hex bytes>" for an event,
// "P <at>: <what>" for a problem.
class CollectCapture : public CaptureLogSink {
 public:
  void Event(const CaptureEvent& event) override {
    std::string line = std::to_string(event.ns);
    for (const uint8_t byte : event.bytes) {
      char hex[4];
      std::snprintf(hex, sizeof hex, " %02x", byte);
      line += hex;
    }
    seen.push_back(line);
  }
  void Problem(uint64_t at, std::string_view what) override {
    seen.push_back("P " + std::to_string(at) + ": " + std::string(what));
  }
  std::vector<std::string> seen;
};

// Every data byte a reader handed over, back to back, and how many problems it found.
class CollectBytes : public CaptureLogSink {
 public:
  void Event(const CaptureEvent& event) override {
    if (event.kind == CaptureKind::kData)
      bytes.insert(bytes.end(), event.bytes.begin(), event.bytes.end());
  }
  void Problem(uint64_t, std::string_view) override { ++problems; }
  std::vector<uint8_t> bytes;
  size_t problems = 0;
};

// Feeds `file` to `reader` in pieces of `piece` bytes, then finishes it.
inline std::vector<std::string> ReadCaptureFile(CaptureFileReader& reader,
                                                const std::vector<uint8_t>& file, size_t piece) {
  CollectCapture sink;
  for (size_t at = 0; at < file.size(); at += piece) {
    reader.Feed(file.data() + at, std::min(piece, file.size() - at), sink);
  }
  reader.Finish(sink);
  return sink.seen;
}

// "<ns> <hex bytes>", as CollectCapture gives an event.
inline std::string EventText(int64_t ns, const std::vector<uint8_t>& bytes) {
  CollectCapture sink;
  CaptureEvent event;
  event.ns = ns;
  event.bytes = bytes;
  sink.Event(event);
  return sink.seen.front();
}

}  // namespace tessaly::testing
