#include "capture/smf_track_parser.h"

#include "capture/midi_stream_parser.h"

namespace tessaly {

constexpr char kCutShort[] = "event cut short by the end of its track";

bool SmfTrackParser::Next(SmfEvent& event, SmfProblem& problem) {
  const size_t start = pos_;
  if (!Quantity(event.delta, problem)) return Fail(start);
  if (pos_ >= end_) return CutShort(start, problem);
  uint8_t status = f_[pos_];
  if (status < 0x80) {
    // Running status: the byte is the first data byte.
    if (running_ == 0) {
      problem = {pos_, "data byte with no running status"};
      return Fail(start);
    }
    status = running_;
  } else {
    ++pos_;
  }
  if (status < 0xF0) {
    running_ = status;
    const size_t length = static_cast<size_t>(ShortMessageDataLength(status));
    if (end_ - pos_ < length) return CutShort(start, problem);
    for (size_t i = 0; i < length; ++i) {
      if (f_[pos_ + i] >= 0x80) {
        problem = {pos_ + i, "status byte inside a channel message"};
        return Fail(start);
      }
    }
    event = {SmfEventKind::kMidi, event.delta, start, pos_, length, status};
    pos_ += length;
    return true;
  }
  uint8_t type = 0;
  if (status == 0xFF) {
    if (pos_ >= end_) return CutShort(start, problem);
    type = f_[pos_++];
  } else if (status != 0xF0 && status != 0xF7) {
    problem = {pos_ - 1, "status byte that is no SMF event"};
    return Fail(start);
  }
  uint64_t length = 0;
  if (!Quantity(length, problem)) return Fail(start);
  if (end_ - pos_ < length) return CutShort(start, problem);
  const SmfEventKind kind = status == 0xF0   ? SmfEventKind::kSysex
                            : status == 0xF7 ? SmfEventKind::kEscape
                            : type == 0x2F   ? SmfEventKind::kEnd
                                             : SmfEventKind::kMeta;
  event = {kind, event.delta, start, pos_, static_cast<size_t>(length), type};
  pos_ += static_cast<size_t>(length);
  return true;
}

bool SmfTrackParser::Quantity(uint64_t& value, SmfProblem& problem) {
  const size_t start = pos_;
  value = 0;
  for (int i = 0; i < 4; ++i) {
    if (pos_ >= end_) {
      problem = {start, kCutShort, true};
      return false;
    }
    const uint8_t byte = f_[pos_++];
    value = value << 7 | (byte & 0x7F);
    if (byte < 0x80) return true;
  }
  problem = {start, "variable-length quantity longer than 4 bytes"};
  return false;
}

bool SmfTrackParser::CutShort(size_t start, SmfProblem& problem) {
  problem = {start, kCutShort, true};
  return Fail(start);
}

bool SmfTrackParser::Fail(size_t start) {
  pos_ = start;
  return false;
}

}  // namespace tessaly
