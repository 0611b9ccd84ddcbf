#pragma once

#include <cstddef>
#include <cstdint>

// Steps through the events of one SMF track chunk, checking every length against the chunk:
// a delta time, then a MIDI event (running status resolved), an F0 or F7 event, or a meta
// event. Running status goes on across meta and sysex events, as some programs write it.
namespace tessaly {

enum class SmfEventKind { kMidi, kSysex, kEscape, kMeta, kEnd };

struct SmfEvent {
  SmfEventKind kind = SmfEventKind::kMidi;
  uint64_t delta = 0;
  size_t start = 0;  // its delta time's first byte
  size_t at = 0;     // its bytes: after the status byte, the length, or the meta type
  size_t size = 0;
  uint8_t status = 0;  // MIDI: the status byte; meta: its type
};

struct SmfProblem {
  uint64_t at = 0;
  const char* what = nullptr;
  bool cutShort = false;  // by the end of the track
};

class SmfTrackParser {
 public:
  // The chunk's events are file[begin, end).
  SmfTrackParser(const uint8_t* file, size_t begin, size_t end)
      : f_(file), pos_(begin), end_(end) {}

  size_t Pos() const { return pos_; }
  // The next event; false with `problem` set (and Pos left at the event's start) when there
  // is none to read.
  bool Next(SmfEvent& event, SmfProblem& problem);

 private:
  bool Quantity(uint64_t& value, SmfProblem& problem);
  bool CutShort(size_t start, SmfProblem& problem);
  bool Fail(size_t start);

  const uint8_t* f_;
  size_t pos_;
  size_t end_;
  uint8_t running_ = 0;
};

}  // namespace tessaly
