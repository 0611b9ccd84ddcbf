#pragma once

#include <cstdint>

// MIDI and callback constants, named once. The callback kinds keep the values of the
// multimedia input API the monitor was first written against, so recorded slots and
// statistics mean the same on every host.
namespace tessaly {

// Callback kinds (the `kind` of an event slot).
inline constexpr uint32_t MIM_OPEN = 0x3C1;
inline constexpr uint32_t MIM_CLOSE = 0x3C2;
inline constexpr uint32_t MIM_DATA = 0x3C3;
inline constexpr uint32_t MIM_LONGDATA = 0x3C4;
inline constexpr uint32_t MIM_ERROR = 0x3C5;
inline constexpr uint32_t MIM_LONGERROR = 0x3C6;
inline constexpr uint32_t MIM_MOREDATA = 0x3CC;

// Open flag: deliver input through a function callback.
inline constexpr uint32_t kCallbackFunction = 0x30000;

// Status bytes.
inline constexpr uint8_t kNoteOff = 0x80;
inline constexpr uint8_t kNoteOn = 0x90;
inline constexpr uint8_t kKeyPressure = 0xA0;
inline constexpr uint8_t kControlChange = 0xB0;
inline constexpr uint8_t kProgramChange = 0xC0;
inline constexpr uint8_t kChannelPressure = 0xD0;
inline constexpr uint8_t kPitchBend = 0xE0;
inline constexpr uint8_t kSysexStart = 0xF0;
inline constexpr uint8_t kTimeCode = 0xF1;
inline constexpr uint8_t kSongPosition = 0xF2;
inline constexpr uint8_t kSongSelect = 0xF3;
inline constexpr uint8_t kTuneRequest = 0xF6;
inline constexpr uint8_t kSysexEnd = 0xF7;
inline constexpr uint8_t kClock = 0xF8;
inline constexpr uint8_t kStart = 0xFA;
inline constexpr uint8_t kContinue = 0xFB;
inline constexpr uint8_t kStop = 0xFC;
inline constexpr uint8_t kActiveSensing = 0xFE;
inline constexpr uint8_t kSystemReset = 0xFF;

// Entries of the status counters that the callback and the drain keep for themselves
// (they share the last statistics row with short messages of the same status).
inline constexpr uint8_t kCountCallbacks = 0xF0;
inline constexpr uint8_t kCountBuffersReceived = 0xF1;
inline constexpr uint8_t kCountBuffersReleased = 0xF3;
inline constexpr uint8_t kCountEventsLost = 0xF4;

// Manufacturer identifier of the device family whose sysex traffic is decoded.
inline constexpr uint8_t kDeviceFamilyId = 0x09;

// Packs a short message the way the callback receives it: status in bits 0-7, first data
// byte in bits 8-15, second data byte in bits 16-23.
constexpr uint32_t PackShortMessage(uint8_t status, uint8_t data1 = 0, uint8_t data2 = 0) {
  return uint32_t{status} | (uint32_t{data1} << 8) | (uint32_t{data2} << 16);
}

}  // namespace tessaly
