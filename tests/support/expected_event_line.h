#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// The event line the drain must show for a channel message, built here with the printf formats
// the lines are defined by, so tests of the drain's own fast formatter have an independent
// reference.
namespace tessaly::testing {

template <class... Args>
std::string PrintfText(const char* format, Args... args) {
  char out[256];
  const int n = std::snprintf(out, sizeof out, format, args...);
  return n > 0 ? std::string(out, static_cast<size_t>(n)) : std::string();
}

// " Time.D..HH:MM:SS.mmm- WWWWWW " for `r` milliseconds and the message word `w`.
inline std::string ExpectedPrefix(uint32_t r, uint32_t w) {
  return PrintfText(" Time.%01u..%02u:%02u:%02u.%03u- %06X ", r / 86400000u,
                    (r % 86400000u) / 3600000u, (r % 3600000u) / 60000u, (r % 60000u) / 1000u,
                    r % 1000u, w);
}

// The channel-message text that follows the prefix; empty below status 0x80.
inline std::string ExpectedChannelText(uint32_t w) {
  const unsigned status = w & 0xFF;
  const unsigned channel = (status & 0x0F) + 1;
  const unsigned d1 = (w >> 8) & 0xFF;
  const unsigned d2 = (w >> 16) & 0xFF;
  switch (status >> 4) {
    case 0x8:
      return PrintfText("Chan %02d NOTE_OFF       # %03d ,Vel %03d ,", channel, d1, d2);
    case 0x9:
      return PrintfText("Chan %02d NOTE_ON        # %03d ,Vel %03d , ", channel, d1, d2);
    case 0xA:
      return PrintfText("Chan %02d KEY_PRESS     # %03d ,value %03d ,", channel, d1, d2);
    case 0xB:
      return PrintfText("Chan %02d CNTL_CHNG    # %03d ,value %03d ,", channel, d1, d2);
    case 0xC:
      return PrintfText("Chan %02d PROG_CHNG   # %03d ", channel, d1);
    case 0xD:
      return PrintfText("Chan %02d CHN_PRESS    value %03d ,", channel, d1);
    case 0xE:
      return PrintfText("Chan %02d PITCH_BEND   value %03d,", channel, d1);
    case 0xF:
      return "         SYSEX DATA  bougus here";
    default:
      return "";
  }
}

inline std::string ExpectedEventLine(uint32_t r, uint32_t w) {
  return ExpectedPrefix(r, w) + ExpectedChannelText(w);
}

}  // namespace tessaly::testing
