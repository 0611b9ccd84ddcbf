#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "capture/midi_constants.h"
#include "display/event_lines.h"

namespace tessaly {

// 4 096 event lines as BasicMessageList receives them (about 70 characters each): a running
// time, every kind of channel message. Built once, shared by the benchmarks that fill lists.
inline const std::vector<std::string>& EventLineSamples() {
  static const std::vector<std::string> samples = [] {
    std::vector<std::string> out;
    for (uint32_t i = 0; i < 4096; ++i) {
      const uint32_t message = PackShortMessage(
          static_cast<uint8_t>(0x80 + (i % 7) * 16 + (i % 16)), i & 0x7F, (i * 7) & 0x7F);
      char prefix[kPrefixSize];
      char text[kPrefixSize];
      const size_t p = EventLines::FormatTimeStampPrefix(prefix, i * 3 + 3600000, message);
      const size_t t = EventLines::FormatChannelMessage(text, message);
      out.push_back(std::string(prefix, p) + std::string(text, t));
    }
    return out;
  }();
  return samples;
}

}  // namespace tessaly
