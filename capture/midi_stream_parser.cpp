#include "capture/midi_stream_parser.h"

#include "capture/midi_constants.h"

namespace tessaly {
namespace {

bool IsRealtime(uint8_t byte) {
  return byte >= kClock;
}
bool IsUndefinedRealtime(uint8_t byte) {
  return byte == 0xF9 || byte == 0xFD;
}

}  // namespace

int ShortMessageDataLength(uint8_t status) {
  if (status < 0x80) return -1;
  switch (status & 0xF0) {
    case kProgramChange:
    case kChannelPressure:
      return 1;
    case 0xF0:
      break;
    default:
      return 2;
  }
  switch (status) {
    case kTimeCode:
    case kSongSelect:
      return 1;
    case kSongPosition:
      return 2;
    case kTuneRequest:
      return 0;
    case kSysexStart:
    case kSysexEnd:
    case 0xF4:
    case 0xF5:
    case 0xF9:
    case 0xFD:
      return -1;
    default:
      return 0;  // realtime
  }
}

void MidiStreamParser::Reset() {
  state_ = State::kIdle;
  packed_ = 0;
  packedCount_ = 0;
  needed_ = 0;
}

void MidiStreamParser::AddPacked(uint8_t byte) {
  if (packedCount_ < 3) packed_ |= uint32_t{byte} << (8 * packedCount_);
  ++packedCount_;
}

void MidiStreamParser::EndPending(MidiStreamSink& sink) {
  switch (state_) {
    case State::kShort:
    case State::kStray:
      sink.Malformed(packed_);
      break;
    case State::kSysex:
      sink.SysexInterrupted();
      break;
    case State::kIdle:
      break;
  }
  Reset();
}

void MidiStreamParser::Feed(const uint8_t* bytes, size_t n, MidiStreamSink& sink) {
  // Start of the sysex run not yet handed to the sink (valid while state_ is kSysex).
  size_t runStart = 0;
  for (size_t i = 0; i < n; ++i) {
    const uint8_t byte = bytes[i];
    if (IsRealtime(byte)) {
      // Realtime bytes stand apart from whatever they interrupt.
      if (state_ == State::kSysex && i > runStart)
        sink.SysexBytes(bytes + runStart, i - runStart, false);
      if (IsUndefinedRealtime(byte)) {
        sink.Malformed(byte);
      } else {
        sink.ShortMessage(byte);
      }
      runStart = i + 1;
      continue;
    }
    if (byte < 0x80) {
      switch (state_) {
        case State::kSysex:
          break;  // part of the run
        case State::kShort:
          AddPacked(byte);
          if (--needed_ == 0) {
            sink.ShortMessage(packed_);
            Reset();
          }
          break;
        case State::kStray:
          AddPacked(byte);
          break;
        case State::kIdle:
          state_ = State::kStray;
          AddPacked(byte);
          break;
      }
      continue;
    }
    if (byte == kSysexEnd) {
      if (state_ == State::kSysex) {
        sink.SysexBytes(bytes + runStart, i + 1 - runStart, true);
        Reset();
      } else {
        EndPending(sink);
        sink.SysexBytes(bytes + i, 1, true);
      }
      continue;
    }
    // Any other status byte ends what was in progress.
    if (state_ == State::kSysex && i > runStart)
      sink.SysexBytes(bytes + runStart, i - runStart, false);
    EndPending(sink);
    if (byte == kSysexStart) {
      state_ = State::kSysex;
      runStart = i;
      continue;
    }
    const int length = ShortMessageDataLength(byte);
    if (length < 0) {
      sink.Malformed(byte);
    } else if (length == 0) {
      sink.ShortMessage(byte);
    } else {
      state_ = State::kShort;
      needed_ = length;
      AddPacked(byte);
    }
  }
  if (state_ == State::kSysex) {
    if (n > runStart) sink.SysexBytes(bytes + runStart, n - runStart, false);
  } else {
    EndPending(sink);
  }
}

}  // namespace tessaly
