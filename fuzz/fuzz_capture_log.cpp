// The capture-log reader on any bytes, handed over in pieces of any size, as a damaged or
// hostile file would give them.
//
// Input: a first byte P, then the file; the file is fed in pieces of P + 1 bytes.
//
// What must hold, besides the sanitizers' checks: every event the reader hands over, written
// again, parses back to the same line (the reader never hands over what the writer could not
// have written); every problem names a line the file has (at most one past its newlines);
// each piece split gives the same events and problems as reading the file whole.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "capture/capture_log_format.h"
#include "capture/capture_log_reader.h"

namespace {

using namespace tessaly;

class Check : public CaptureLogSink {
 public:
  explicit Check(uint64_t maxLine) : maxLine_(maxLine) {}
  void Event(const CaptureEvent& event) override {
    std::string line;
    AppendCaptureLogLine(event, line);
    CaptureEvent again;
    std::string scratch;
    const std::string body = line.substr(0, line.size() - 1);
    if (!ParseCaptureLogLine(body, again, scratch).empty()) Fail("written event does not parse");
    std::string twice;
    AppendCaptureLogLine(again, twice);
    if (twice != line) Fail("event changed on the way back");
    seen.push_back(line);
  }
  void Problem(uint64_t line, std::string_view what) override {
    if (line == 0 || line > maxLine_ || what.empty()) Fail("problem without a line");
    seen.push_back(std::to_string(line) + std::string(what));
  }
  std::vector<std::string> seen;

 private:
  static void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_capture_log: %s\n", what);
    std::abort();
  }
  uint64_t maxLine_;
};

std::vector<std::string> Read(const uint8_t* data, size_t size, size_t piece, uint64_t maxLine) {
  Check check(maxLine);
  CaptureLogReader reader;
  for (size_t at = 0; at < size; at += piece) {
    reader.Feed(data + at, std::min(piece, size - at), check);
  }
  reader.Finish(check);
  return check.seen;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t piece = size_t{data[0]} + 1;
  ++data;
  --size;
  uint64_t newlines = 0;
  for (size_t i = 0; i < size; ++i) newlines += data[i] == '\n';
  const auto split = Read(data, size, piece, newlines + 1);
  const auto whole = Read(data, size, size + 1, newlines + 1);
  if (split != whole) {
    std::fprintf(stderr, "fuzz_capture_log: the split changed what was read\n");
    std::abort();
  }
  return 0;
}
