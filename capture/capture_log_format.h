#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "capture/system_losses.h"

// The capture log (.txt): what an open port delivered, one event per line, plain text a person
// can read, grep and diff (docs/CAPTURE.md):
//   tessaly capture log 1                      the header, first line
//   <ns> port <name>                           the port events come from from here on
//   <ns> data <hex bytes>                      one message as the MIDI system delivered it
//   <ns> drop messages <n>                     messages the service had no room for
//   <ns> drop sysex-bytes <n>                  sysex bytes that came with no buffer queued
//   <ns> loss <kind> <n | ->                   a loss the MIDI system reported (- : no count)
//   <ns> cut                                   the sender of an open sysex message went away
// <ns>: arrival time, nanoseconds on the monotonic clock, decimal. Names keep every byte:
// '\', bytes below 0x20, 0x7F and 0x80-0xFF as \xHH (two lower-case hex digits).
namespace tessaly {

inline constexpr std::string_view kCaptureLogHeader = "tessaly capture log 1";

enum class CaptureKind : uint8_t { kPort, kData, kDropMessages, kDropSysexBytes, kLoss, kCut };

// One event, as the reader hands it over: `bytes` (data, or the port's name, unescaped) is
// valid until the next event.
struct CaptureEvent {
  CaptureKind kind = CaptureKind::kData;
  int64_t ns = 0;
  std::span<const uint8_t> bytes;
  uint64_t count = 0;   // drop, loss
  bool counted = true;  // loss: false when the system gave no count
  SystemLoss loss = SystemLoss::kJackReadFailed;
};

// Appends the event's line, newline included.
void AppendCaptureLogLine(const CaptureEvent& event, std::string& out);

// Appends the same lines, byte for byte, at less cost a line when times repeat (the recorder's
// thread): the time's digits are kept while the time stays the same. The input thread stamps
// messages on a grid of whole milliseconds, so at 100 000 events/s about 100 lines share one.
class CaptureLogLineWriter {
 public:
  void Append(const CaptureEvent& event, std::string& out);

 private:
  uint64_t ns_ = 0;
  char digits_[24] = {'0'};
  size_t digitCount_ = 1;
};

// Parses one line (no newline) after the header into `event`, its bytes into `scratch`.
// Empty on success, else what is wrong (one phrase, no line number).
std::string ParseCaptureLogLine(std::string_view line, CaptureEvent& event, std::string& scratch);

// The names of the loss kinds in the log.
std::string_view CaptureLossName(SystemLoss loss);

}  // namespace tessaly
