#pragma once

#include <alsa/seq_event.h>

#include <cstddef>
#include <cstdint>

// The MIDI bytes of one ALSA sequencer event, without running status: every channel message
// carries its status byte, as the stream parser expects. Sysex data is not copied here (it
// stays in alsa-lib's input buffer: see SysexBytes). Events that are no MIDI (the system's
// announcements, echo, queue control) give 0 bytes. Data values are cut to 7 bits, channels
// to 4: a program may send any integer in an event, and the bytes must stay MIDI.
// Header only, no allocation; any thread.
namespace tessaly {

inline constexpr size_t kMaxAlsaEventBytes = 12;  // NRPN/RPN: four controller messages

// The events that stand for one status byte alone.
struct AlsaStatusOnly {
  int type;
  uint8_t status;
};
inline constexpr AlsaStatusOnly kAlsaStatusOnly[] = {
    {SND_SEQ_EVENT_TUNE_REQUEST, 0xF6}, {SND_SEQ_EVENT_CLOCK, 0xF8},    {SND_SEQ_EVENT_TICK, 0xF9},
    {SND_SEQ_EVENT_START, 0xFA},        {SND_SEQ_EVENT_CONTINUE, 0xFB}, {SND_SEQ_EVENT_STOP, 0xFC},
    {SND_SEQ_EVENT_SENSING, 0xFE},      {SND_SEQ_EVENT_RESET, 0xFF},
};

inline size_t AlsaEventBytes(const snd_seq_event_t& ev, uint8_t (&out)[kMaxAlsaEventBytes]) {
  const uint8_t ch = ev.data.control.channel & 0x0F;
  const auto d7 = [](long v) { return static_cast<uint8_t>(static_cast<unsigned long>(v) & 0x7F); };
  const auto cc = [&](size_t at, unsigned param, long value) {
    out[at] = static_cast<uint8_t>(0xB0 | ch);
    out[at + 1] = d7(param);
    out[at + 2] = d7(value);
  };
  switch (ev.type) {
    case SND_SEQ_EVENT_NOTEON:
    case SND_SEQ_EVENT_NOTEOFF:
    case SND_SEQ_EVENT_KEYPRESS: {
      const uint8_t status = ev.type == SND_SEQ_EVENT_NOTEON    ? 0x90
                             : ev.type == SND_SEQ_EVENT_NOTEOFF ? 0x80
                                                                : 0xA0;
      out[0] = static_cast<uint8_t>(status | (ev.data.note.channel & 0x0F));
      out[1] = d7(ev.data.note.note);
      out[2] = d7(ev.data.note.velocity);
      return 3;
    }
    case SND_SEQ_EVENT_CONTROLLER:
      cc(0, ev.data.control.param, ev.data.control.value);
      return 3;
    case SND_SEQ_EVENT_PGMCHANGE:
    case SND_SEQ_EVENT_CHANPRESS:
      out[0] = static_cast<uint8_t>((ev.type == SND_SEQ_EVENT_PGMCHANGE ? 0xC0 : 0xD0) | ch);
      out[1] = d7(ev.data.control.value);
      return 2;
    case SND_SEQ_EVENT_PITCHBEND: {
      const long value = ev.data.control.value + 8192;
      out[0] = static_cast<uint8_t>(0xE0 | ch);
      out[1] = d7(value);
      out[2] = d7(value >> 7);
      return 3;
    }
    case SND_SEQ_EVENT_CONTROL14: {
      const unsigned param = ev.data.control.param;
      const long value = ev.data.control.value;
      if (param >= 32) {  // no 14-bit pair: one plain controller, as alsa-lib's decoder does
        cc(0, param, value);
        return 3;
      }
      cc(0, param, value >> 7);
      cc(3, param + 32, value);
      return 6;
    }
    case SND_SEQ_EVENT_NONREGPARAM:
    case SND_SEQ_EVENT_REGPARAM: {
      const bool nrpn = ev.type == SND_SEQ_EVENT_NONREGPARAM;
      const unsigned param = ev.data.control.param;
      const long value = ev.data.control.value;
      cc(0, nrpn ? 99 : 101, param >> 7);
      cc(3, nrpn ? 98 : 100, param);
      cc(6, 6, value >> 7);
      cc(9, 38, value);
      return 12;
    }
    case SND_SEQ_EVENT_SONGPOS:
      out[0] = 0xF2;
      out[1] = d7(ev.data.control.value);
      out[2] = d7(ev.data.control.value >> 7);
      return 3;
    case SND_SEQ_EVENT_SONGSEL:
    case SND_SEQ_EVENT_QFRAME:
      out[0] = ev.type == SND_SEQ_EVENT_SONGSEL ? 0xF3 : 0xF1;
      out[1] = d7(ev.data.control.value);
      return 2;
    default:
      for (const AlsaStatusOnly& one : kAlsaStatusOnly) {
        if (one.type == ev.type) {
          out[0] = one.status;
          return 1;
        }
      }
      return 0;
  }
}

// A sysex event's bytes as the sender chose to cut them (a chunk of a longer message, or the
// whole of it): the stream parser joins the chunks up to F7. Null when the event is none.
inline const uint8_t* SysexBytes(const snd_seq_event_t& ev, size_t& n) {
  if (ev.type != SND_SEQ_EVENT_SYSEX ||
      (ev.flags & SND_SEQ_EVENT_LENGTH_MASK) != SND_SEQ_EVENT_LENGTH_VARIABLE ||
      ev.data.ext.ptr == nullptr) {
    n = 0;
    return nullptr;
  }
  n = ev.data.ext.len;
  return static_cast<const uint8_t*>(ev.data.ext.ptr);
}

// After the kernel flushed the input FIFO, the sysex chunks that continue a message whose
// middle was lost are dropped, so the parser never glues its two ends into one message: the
// part before ends as cut short (MIM_LONGERROR) at the next message. Real-time bytes, which may
// sit inside a sysex, leave it open. Reader thread only.
class OverrunSysexFilter {
 public:
  void Overrun() { skipping_ = true; }
  // Whether the event whose bytes start with `first` goes on to the parser.
  bool Pass(bool sysexChunk, uint8_t first) {
    if (!skipping_) return true;
    if (sysexChunk && first != 0xF0) return false;
    if (sysexChunk || first < 0xF8) skipping_ = false;
    return true;
  }

 private:
  bool skipping_ = false;
};

}  // namespace tessaly
