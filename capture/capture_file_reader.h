#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "capture/capture_log_format.h"

// A reader of one capture file format (.txt capture log, .mid, .syx), fed the file in pieces
// of any size as they are read. What it finds goes to a sink: each event in time order, and
// each thing wrong with the file at its place (a line number in a text format, a byte offset in
// a binary one), after which reading goes on with what can still be read.
namespace tessaly {

class CaptureLogSink {
 public:
  virtual ~CaptureLogSink() = default;
  virtual void Event(const CaptureEvent& event) = 0;
  // `at`: where, in the reader's PlaceUnit (line 1 is the first line, byte 0 the first byte).
  // `what`: one phrase.
  virtual void Problem(uint64_t at, std::string_view what) = 0;
};

class CaptureFileReader {
 public:
  virtual ~CaptureFileReader() = default;
  virtual void Feed(const uint8_t* bytes, size_t n, CaptureLogSink& sink) = 0;
  // The end of the file: what is left is read, or reported as cut short.
  virtual void Finish(CaptureLogSink& sink) = 0;
  // "line" or "byte": what a Problem's `at` counts.
  virtual std::string_view PlaceUnit() const = 0;
};

// A reader of a binary format: its places are byte offsets.
class ByteFileReader : public CaptureFileReader {
 public:
  std::string_view PlaceUnit() const final { return "byte"; }
};

}  // namespace tessaly
