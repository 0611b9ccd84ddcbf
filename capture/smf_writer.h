#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "capture/capture_file_writer.h"

// Writes a Standard MIDI File: format 0, one track, SMPTE division 25 frames of 40 ticks (one
// tick a millisecond), delta times from the first event written. Channel messages become MIDI
// events; a system-exclusive message an F0 event, its continuations (a message delivered in
// pieces) F7 events; system common and realtime messages F7 escapes (their bytes as they are,
// the SMF's way of holding them). Malformed bytes, port changes, drops, losses and
// cuts (the sender gone) are left out; after a port change or a cut no piece continues a sysex.
// The track's length is written last (Finish): until then it reads FFFFFFFF, so that a file cut
// short by a crash holds every event written before and says that it is cut.
namespace tessaly {

class SmfWriter final : public CaptureFileWriter {
 public:
  // Where the track's length stands in the file.
  static constexpr uint64_t kTrackLengthAt = 18;

  void Begin(std::string& out) override;
  bool Append(const CaptureEvent& event, std::string& out) override;
  void End(std::string& out) override;
  Patch Finish() const override;
  std::string_view FullWhy() const override { return "the SMF track is at its 4 GiB limit"; }
  std::string_view Name() const override { return "SMF"; }

 private:
  enum class Form { kLeftOut, kMidi, kSysex, kEscape };
  Form Classify(std::span<const uint8_t> bytes);
  void AppendDelta(int64_t ns, std::string& out);

  uint64_t trackBytes_ = 0;
  bool started_ = false;  // origin_ set
  int64_t origin_ = 0;    // the first written event's arrival
  uint64_t lastTick_ = 0;
  bool sysexOpen_ = false;  // the last sysex bytes written had no F7 yet
};

}  // namespace tessaly
