// The SMF and .syx readers on any bytes, handed over in pieces of any size, as a damaged or
// hostile file would give them.
//
// Input: a first byte B, then the rest: B's bit 0 picks the format (0 SMF, 1 .syx); the file is
// fed in pieces of (B >> 2) + 1 bytes. With B's bit 1 clear the rest is the file; with it set the
// rest is events for the format's writer (a length byte, the bytes, a byte of milliseconds
// since the last), and what the writer makes of them is the file.
//
// What must hold, besides the sanitizers' checks: every event is data, not empty, with a time
// that never goes back (the tracks are merged in time order); every .syx event is one whole
// sysex message; every problem is at a byte the file has (or just past its end); each piece
// split gives the same events and problems as reading the file whole. A file the writer made
// reads without a problem, and an SMF gives back exactly the events the writer kept.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "capture/smf_reader.h"
#include "capture/smf_writer.h"
#include "capture/syx_reader.h"
#include "capture/syx_writer.h"

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
    std::string text = std::to_string(event.ns) + ':';
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

// The events in `data` written by the format's writer; `kept` gets the SMF's events as Check
// gives them.
std::string Write(bool syx, const uint8_t* data, size_t size, std::vector<std::string>& kept) {
  std::unique_ptr<CaptureFileWriter> writer;
  if (syx) {
    writer = std::make_unique<SyxWriter>();
  } else {
    writer = std::make_unique<SmfWriter>();
  }
  std::string out;
  writer->Begin(out);
  Check text(false, 0);
  int64_t ns = 0;
  size_t at = 0;
  while (at < size) {
    const size_t n = std::min<size_t>(data[at], size - at - 1);
    CaptureEvent event;
    event.bytes = {data + at + 1, n};
    at += 1 + n;
    ns += at < size ? int64_t{data[at++]} * 1000000 : 0;
    event.ns = ns;
    const uint64_t before = writer->Kept();
    if (!writer->Append(event, out)) Fail("the writer is full");
    if (writer->Kept() != before && !event.bytes.empty()) text.Event(event);
  }
  writer->End(out);
  const CaptureFileWriter::Patch patch = writer->Finish();
  for (size_t i = 0; i < patch.n; ++i) out[patch.at + i] = static_cast<char>(patch.bytes[i]);
  // Times as read: from the first event kept, to the millisecond; the text compares bytes only.
  for (std::string& line : text.seen) line.erase(0, line.find(':'));
  kept = std::move(text.seen);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const bool syx = (data[0] & 1) != 0;
  const bool written = (data[0] & 2) != 0;
  const size_t piece = static_cast<size_t>(data[0] >> 2) + 1;
  ++data;
  --size;
  std::vector<std::string> kept;
  std::string file;
  if (written) {
    file = Write(syx, data, size, kept);
    data = reinterpret_cast<const uint8_t*>(file.data());
    size = file.size();
  }
  const auto seen = Read(syx, data, size, piece);
  if (seen != Read(syx, data, size, size + 1)) Fail("the split changed what was read");
  if (!written) return 0;
  for (const std::string& line : seen) {
    if (line[0] == 'P') Fail("a problem in a file the writer made");
  }
  if (syx) return 0;
  if (seen.size() != kept.size()) Fail("the SMF gave back other events than were kept");
  for (size_t i = 0; i < seen.size(); ++i) {
    if (seen[i].substr(seen[i].find(':')) != kept[i]) {
      Fail("an event changed on the way through the SMF");
    }
  }
  return 0;
}
