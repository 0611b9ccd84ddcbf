// The SMF and .syx readers on any bytes, handed over in pieces of any size, as a damaged or
// hostile file would give them.
//
// Input: a first byte B, then the file: B's lowest bit picks the reader (0 SMF, 1 .syx), and
// the file is fed in pieces of (B >> 1) + 1 bytes.
//
// What must hold, besides the sanitizers' checks: every event is data, not empty, with a time
// that never goes back (the tracks are merged in time order); every .syx event is one whole
// sysex message; every problem is at a byte the file has (or just past its end); each piece
// split gives the same events and problems as reading the file whole.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "capture/smf_reader.h"
#include "capture/syx_reader.h"

namespace {

using namespace tessaly;

void Fail(const char* what) {
  std::fprintf(stderr, "fuzz_smf_syx: %s\n", what);
  std::abort();
}

class Check : public CaptureLogSink {
 public:
  Check(bool syx, uint64_t size) : syx_(syx), size_(size) {}
  void Event(const CaptureEvent& event) override {
    if (event.kind != CaptureKind::kData || event.bytes.empty()) Fail("an event with no data");
    if (event.ns < last_) Fail("time went back");
    last_ = event.ns;
    if (syx_) {
      const auto& b = event.bytes;
      if (b.size() < 2 || b.front() != 0xF0 || b.back() != 0xF7) Fail("not a whole sysex");
      for (size_t i = 1; i + 1 < b.size(); ++i) {
        if (b[i] >= 0x80) Fail("a status byte inside a sysex");
      }
    }
    std::string text = std::to_string(event.ns);
    text.append(reinterpret_cast<const char*>(event.bytes.data()), event.bytes.size());
    seen.push_back(text);
  }
  void Problem(uint64_t at, std::string_view what) override {
    if (at > size_ || what.empty()) Fail("a problem outside the file");
    seen.push_back("P" + std::to_string(at) + std::string(what));
  }
  std::vector<std::string> seen;

 private:
  bool syx_;
  uint64_t size_;
  int64_t last_ = 0;
};

std::vector<std::string> Read(bool syx, const uint8_t* data, size_t size, size_t piece) {
  Check check(syx, size);
  std::unique_ptr<CaptureFileReader> reader;
  if (syx) {
    reader = std::make_unique<SyxReader>();
  } else {
    reader = std::make_unique<SmfReader>();
  }
  for (size_t at = 0; at < size; at += piece) {
    reader->Feed(data + at, std::min(piece, size - at), check);
  }
  reader->Finish(check);
  return check.seen;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool syx = (data[0] & 1) != 0;
  const size_t piece = static_cast<size_t>(data[0] >> 1) + 1;
  ++data;
  --size;
  if (Read(syx, data, size, piece) != Read(syx, data, size, size + 1)) {
    Fail("the split changed what was read");
  }
  return 0;
}
