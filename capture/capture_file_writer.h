#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "capture/capture_log_format.h"

// A writer of one capture file format, as the recorder's thread uses it: the file's bytes are
// appended to a string that the recorder writes out, event by event. A format that cannot hold
// an event (an SMF holds no losses) leaves it out and counts it, so that the stop line can say
// so. Single-threaded: the recorder's thread only.
namespace tessaly {

class CaptureFileWriter {
 public:
  // Bytes to write over the file once it is complete (the SMF's track length).
  struct Patch {
    uint64_t at = 0;
    uint8_t bytes[4] = {};
    size_t n = 0;  // 0: nothing to patch
  };

  virtual ~CaptureFileWriter() = default;
  // The file's first bytes.
  virtual void Begin(std::string& out) = 0;
  // Appends what the file holds of `event`. False when the file can take nothing more
  // (FullWhy says why); the event is then not counted.
  virtual bool Append(const CaptureEvent& event, std::string& out) = 0;
  // The file's last bytes, when recording stops.
  virtual void End(std::string& out) = 0;
  // What to write over the file after End's bytes are written.
  virtual Patch Finish() const { return {}; }
  virtual std::string_view FullWhy() const { return "the file is full"; }
  // The format's name in the stop line's "M left out (not in NAME)".
  virtual std::string_view Name() const = 0;

  // Events whose bytes are in the output so far, and events left out.
  uint64_t Kept() const { return kept_; }
  uint64_t LeftOut() const { return leftOut_; }

 protected:
  uint64_t kept_ = 0;
  uint64_t leftOut_ = 0;
};

// The writer for `path`'s ending (capture_file_ending.h): .mid, .syx, else the capture log.
std::unique_ptr<CaptureFileWriter> MakeCaptureFileWriter(std::string_view path);

}  // namespace tessaly
