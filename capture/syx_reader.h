#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "capture/capture_file_reader.h"

// Reads a .syx file, fed in pieces of any size: system-exclusive messages back to back, F0 ...
// F7, each handed over whole. The format has no times: each message is given the time it
// would start at if the file were sent over a MIDI cable (31 250 baud, 320 us a byte, the
// messages back to back), so that a replay in real time paces them as a librarian would.
// Bytes between messages are a Problem at the first of them and skipped; a message cut short
// (by any other byte, or by the end of the file) is a Problem where its F7 should be, and is
// skipped. A message is held whole until its F7, up to kMaxMessage.
namespace tessaly {

class SyxReader final : public ByteFileReader {
 public:
  static constexpr size_t kMaxMessage = size_t{16} << 20;
  static constexpr int64_t kNsPerByte = 320000;

  void Feed(const uint8_t* bytes, size_t n, CaptureLogSink& sink) override;
  void Finish(CaptureLogSink& sink) override;

 private:
  enum class State { kBetween, kStray, kMessage, kTooLong };

  std::vector<uint8_t> message_;
  uint64_t offset_ = 0;  // of the next byte fed
  uint64_t start_ = 0;   // the message's F0
  State state_ = State::kBetween;
};

}  // namespace tessaly
