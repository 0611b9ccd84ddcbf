#include "capture/smf_writer.h"

#include "capture/midi_stream_parser.h"

namespace tessaly {
namespace {

constexpr int64_t kNsPerTick = 1000000;
// Header chunk, then the track chunk's header with its length to come.
constexpr char kHead[] =
    "MThd\x00\x00\x00\x06"  // length 6
    "\x00\x00\x00\x01"      // format 0, one track
    "\xE7\x28"              // SMPTE: -25 frames a second, 40 ticks a frame
    "MTrk\xFF\xFF\xFF\xFF";
constexpr size_t kHeadSize = sizeof kHead - 1;
constexpr uint8_t kEndOfTrack[] = {0x00, 0xFF, 0x2F, 0x00};
constexpr uint64_t kMaxTrack = 0xFFFFFFFF;
// A variable-length quantity holds at most 28 bits in its at most 4 bytes.
constexpr uint32_t kSmfMaxQuantity = 0x0FFFFFFF;

void AppendSmfQuantity(uint32_t value, std::string& out) {
  char bytes[4];
  int n = 0;
  bytes[n++] = static_cast<char>(value & 0x7F);
  while ((value >>= 7) != 0 && n < 4) bytes[n++] = static_cast<char>(0x80 | (value & 0x7F));
  while (n > 0) out += bytes[--n];
}

bool SevenBit(std::span<const uint8_t> bytes) {
  for (const uint8_t b : bytes) {
    if (b >= 0x80) return false;
  }
  return true;
}

// Data bytes, then an optional F7 at the end.
bool SysexBody(std::span<const uint8_t> bytes, bool& ends) {
  ends = !bytes.empty() && bytes.back() == 0xF7;
  return SevenBit(ends ? bytes.first(bytes.size() - 1) : bytes);
}

}  // namespace

void SmfWriter::Begin(std::string& out) {
  static_assert(kHeadSize == SmfWriter::kTrackLengthAt + 4);
  out.append(kHead, kHeadSize);
}

SmfWriter::Form SmfWriter::Classify(std::span<const uint8_t> bytes) {
  if (bytes.empty() || bytes.size() > kSmfMaxQuantity) return Form::kLeftOut;
  const uint8_t status = bytes[0];
  const auto rest = bytes.subspan(1);
  bool ends = false;
  if (status < 0x80) {
    // The next piece of a sysex message delivered in pieces.
    if (!sysexOpen_ || !SysexBody(bytes, ends)) return Form::kLeftOut;
    sysexOpen_ = !ends;
    return Form::kEscape;
  }
  if (status == 0xF0) {
    if (!SysexBody(rest, ends)) return Form::kLeftOut;
    sysexOpen_ = !ends;
    return Form::kSysex;
  }
  if (status == 0xF7) {
    if (bytes.size() != 1) return Form::kLeftOut;
    sysexOpen_ = false;
    return Form::kEscape;
  }
  if (status >= 0xF8) {
    // Realtime; F9 and FD are undefined.
    if (bytes.size() != 1 || status == 0xF9 || status == 0xFD) return Form::kLeftOut;
    return Form::kEscape;
  }
  const int length = ShortMessageDataLength(status);
  if (length < 0 || rest.size() != static_cast<size_t>(length) || !SevenBit(rest)) {
    return Form::kLeftOut;
  }
  sysexOpen_ = false;  // a status byte ends a sysex message on the wire too
  return status < 0xF0 ? Form::kMidi : Form::kEscape;
}

void SmfWriter::AppendDelta(int64_t ns, std::string& out) {
  if (!started_) {
    started_ = true;
    origin_ = ns;
  }
  // To the nearest millisecond; a time before the last one (never from a monotonic clock) is
  // taken as the last one.
  const int64_t since = ns > origin_ ? ns - origin_ : 0;
  uint64_t tick = static_cast<uint64_t>((since + kNsPerTick / 2) / kNsPerTick);
  if (tick < lastTick_) tick = lastTick_;
  uint64_t delta = tick - lastTick_;
  lastTick_ = tick;
  // A gap longer than a quantity holds (74 hours) is bridged by empty text events.
  while (delta > kSmfMaxQuantity) {
    AppendSmfQuantity(kSmfMaxQuantity, out);
    out.append("\xFF\x01\x00", 3);
    delta -= kSmfMaxQuantity;
  }
  AppendSmfQuantity(static_cast<uint32_t>(delta), out);
}

bool SmfWriter::Append(const CaptureEvent& event, std::string& out) {
  if (event.kind != CaptureKind::kData) {
    ++leftOut_;
    // A new port, or the sender gone: no later piece belongs to an open message.
    if (event.kind == CaptureKind::kPort || event.kind == CaptureKind::kCut) sysexOpen_ = false;
    return true;
  }
  const bool wasOpen = sysexOpen_;
  const Form form = Classify(event.bytes);
  if (form == Form::kLeftOut) {
    ++leftOut_;
    return true;
  }
  // Delta (at most 4 bytes and a bridge of 7 per 74 hours), F0/F7, a length of 4, the bytes;
  // room is kept for the end of the track.
  const uint64_t most = 64 + event.bytes.size();
  if (trackBytes_ + most + sizeof kEndOfTrack > kMaxTrack) {
    sysexOpen_ = wasOpen;
    return false;
  }
  const size_t before = out.size();
  AppendDelta(event.ns, out);
  switch (form) {
    case Form::kMidi:
      out.append(reinterpret_cast<const char*>(event.bytes.data()), event.bytes.size());
      break;
    case Form::kSysex:
      out += '\xF0';
      AppendSmfQuantity(static_cast<uint32_t>(event.bytes.size() - 1), out);
      out.append(reinterpret_cast<const char*>(event.bytes.data()) + 1, event.bytes.size() - 1);
      break;
    case Form::kEscape:
      out += '\xF7';
      AppendSmfQuantity(static_cast<uint32_t>(event.bytes.size()), out);
      out.append(reinterpret_cast<const char*>(event.bytes.data()), event.bytes.size());
      break;
    case Form::kLeftOut:
      break;
  }
  trackBytes_ += out.size() - before;
  ++kept_;
  return true;
}

void SmfWriter::End(std::string& out) {
  out.append(reinterpret_cast<const char*>(kEndOfTrack), sizeof kEndOfTrack);
  trackBytes_ += sizeof kEndOfTrack;
}

CaptureFileWriter::Patch SmfWriter::Finish() const {
  Patch patch;
  patch.at = kTrackLengthAt;
  for (int i = 0; i < 4; ++i) patch.bytes[i] = static_cast<uint8_t>(trackBytes_ >> (24 - 8 * i));
  patch.n = 4;
  return patch;
}

}  // namespace tessaly
