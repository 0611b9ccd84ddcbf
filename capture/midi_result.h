#pragma once

#include <cstddef>
#include <cstdint>

// Result codes of the MIDI input service. The numbers follow the multimedia input API the
// monitor was first written against; every code, 0 included, has a short English text.
namespace tessaly {

using MidiResult = uint32_t;

inline constexpr MidiResult kNoError = 0;
inline constexpr MidiResult kUnspecifiedError = 1;
inline constexpr MidiResult kBadDeviceId = 2;
inline constexpr MidiResult kNotEnabled = 3;
inline constexpr MidiResult kAllocated = 4;
inline constexpr MidiResult kInvalidHandle = 5;
inline constexpr MidiResult kNoDriver = 6;
inline constexpr MidiResult kNoMemory = 7;
inline constexpr MidiResult kNotSupported = 8;
inline constexpr MidiResult kInvalidFlag = 10;
inline constexpr MidiResult kInvalidParam = 11;
inline constexpr MidiResult kHandleBusy = 12;
inline constexpr MidiResult kUnprepared = 64;
inline constexpr MidiResult kStillPlaying = 65;
inline constexpr MidiResult kServerGone = 256;
inline constexpr MidiResult kSourceGone = 257;

// The text for `result`, never null; unknown codes share one text.
const char* MidiResultText(MidiResult result);

// Copies the text for `result` into `text` (`size` bytes, terminated, cut to fit). Safe on
// the driver thread: no allocation, no formatting. Returns kInvalidParam when size is 0.
MidiResult CopyMidiResultText(MidiResult result, char* text, size_t size);

}  // namespace tessaly
