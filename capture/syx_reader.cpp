#include "capture/syx_reader.h"

#include <limits>

namespace tessaly {

void SyxReader::Feed(const uint8_t* bytes, size_t n, CaptureLogSink& sink) {
  for (size_t i = 0; i < n; ++i, ++offset_) {
    const uint8_t byte = bytes[i];
    if (state_ == State::kMessage || state_ == State::kTooLong) {
      if (byte < 0x80) {
        if (state_ == State::kTooLong) continue;
        if (message_.size() == kMaxMessage) {
          sink.Problem(start_, "sysex message longer than 16 MiB, skipped");
          message_.clear();
          state_ = State::kTooLong;
          continue;
        }
        message_.push_back(byte);
        continue;
      }
      if (byte == 0xF7) {
        if (state_ == State::kMessage) {
          message_.push_back(byte);
          CaptureEvent event;
          event.kind = CaptureKind::kData;
          // On the wire, the message starts once every byte before it is sent.
          const uint64_t most = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
          event.ns = start_ > most / kNsPerByte ? static_cast<int64_t>(most)
                                                : static_cast<int64_t>(start_) * kNsPerByte;
          event.bytes = message_;
          sink.Event(event);
          message_.clear();
        }
        state_ = State::kBetween;
        continue;
      }
      if (state_ == State::kMessage) sink.Problem(offset_, "sysex message without its F7, skipped");
      message_.clear();
      state_ = State::kStray;  // the bytes from here on are part of the same problem
    }
    if (byte == 0xF0) {
      start_ = offset_;
      message_.push_back(byte);
      state_ = State::kMessage;
      continue;
    }
    if (state_ == State::kBetween) {
      sink.Problem(offset_, "bytes between sysex messages, skipped");
      state_ = State::kStray;
    }
  }
}

void SyxReader::Finish(CaptureLogSink& sink) {
  if (state_ == State::kMessage) {
    sink.Problem(offset_, "last sysex message without its F7 (file cut short?), skipped");
  }
  message_.clear();
  state_ = State::kBetween;
}

}  // namespace tessaly
