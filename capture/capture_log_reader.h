#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "capture/capture_file_reader.h"
#include "capture/capture_log_format.h"

// Reads a capture log (capture_log_format.h) in pieces of any size, as they come from the
// file, with memory bounded by the longest line (kMaxLine), never by the file. A line that is
// wrong is reported with its number and skipped, and reading goes on; a file that does not
// start with the header is reported once and yields nothing. Blank lines and lines starting
// with '#' (a person's notes) are skipped; a CR before the newline is taken as part of it.
namespace tessaly {

class CaptureLogReader final : public CaptureFileReader {
 public:
  // Longest line read: a sysex message of 1 MiB in hex is 3 MiB.
  static constexpr size_t kMaxLine = size_t{4} << 20;

  void Feed(const uint8_t* bytes, size_t n, CaptureLogSink& sink) override;
  // The end of the file: a last line without its newline is still read, and reported.
  void Finish(CaptureLogSink& sink) override;
  std::string_view PlaceUnit() const override { return "line"; }

  uint64_t Lines() const { return line_; }

 private:
  void TakeLine(std::string_view line, CaptureLogSink& sink);

  std::string pending_;  // the line read so far
  std::string scratch_;
  uint64_t line_ = 0;  // lines completed
  bool headerSeen_ = false;
  bool rejected_ = false;  // not a capture log: the rest is ignored
  bool skipping_ = false;  // inside a line too long to keep
};

}  // namespace tessaly
