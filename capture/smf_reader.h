#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "capture/capture_file_reader.h"

// Reads a Standard MIDI File of format 0 or 1 (any program's), fed in pieces of any size: every
// track merged in time order (equal times keep the tracks' order), each MIDI event, F0 event
// (the F0 put back in front of its bytes) and F7 event (its bytes as they are: a sysex message's
// next piece, or any bytes) handed over with its time in nanoseconds from the file's start. Meta
// events are skipped, but the end of a track and tempo changes (in any track of a format-1 file)
// are honoured. Division in ticks a quarter note (default tempo 120 a minute) or SMPTE frames.
//
// A format-1 file must be held whole (its first events may be in its last track): the file is
// kept up to kMaxFile and read at Finish. Everything wrong is a Problem at its byte offset, and
// what can still be read is read: a track that goes wrong ends there, the others go on.
namespace tessaly {

class SmfReader final : public ByteFileReader {
 public:
  static constexpr size_t kMaxFile = size_t{256} << 20;
  static constexpr size_t kMaxTracks = 65535;

  // `maxFile`: the most that is held (smaller in tests).
  explicit SmfReader(size_t maxFile = kMaxFile) : maxFile_(maxFile) {}

  void Feed(const uint8_t* bytes, size_t n, CaptureLogSink& sink) override;
  void Finish(CaptureLogSink& sink) override;

 private:
  const size_t maxFile_;
  std::vector<uint8_t> file_;
  bool tooLong_ = false;
  bool finished_ = false;
};

}  // namespace tessaly
