#include <alsa/asoundlib.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/alsa_event_bytes.h"
#include "capture/alsa_port_order.h"

namespace tessaly {
namespace {

using Bytes = std::vector<uint8_t>;

snd_seq_event_t Event(snd_seq_event_type_t type) {
  snd_seq_event_t ev{};
  ev.type = type;
  return ev;
}
snd_seq_event_t Note(snd_seq_event_type_t type, int channel, int note, int velocity) {
  snd_seq_event_t ev = Event(type);
  ev.data.note.channel = static_cast<unsigned char>(channel);
  ev.data.note.note = static_cast<unsigned char>(note);
  ev.data.note.velocity = static_cast<unsigned char>(velocity);
  return ev;
}
snd_seq_event_t Control(snd_seq_event_type_t type, int channel, unsigned param, int value) {
  snd_seq_event_t ev = Event(type);
  ev.data.control.channel = static_cast<unsigned char>(channel);
  ev.data.control.param = param;
  ev.data.control.value = value;
  return ev;
}

// Every sequencer event kind that stands for MIDI, as the bytes a raw MIDI port would carry
// (each with its status byte: no running status), out-of-range values kept to MIDI's bits,
// and events that are no MIDI giving nothing.
TEST(AlsaEventBytesTest, EventsBecomeMidiBytes) {
  struct Case {
    const char* what;
    snd_seq_event_t ev;
    Bytes bytes;
  };
  const Case cases[] = {
      {"note on", Note(SND_SEQ_EVENT_NOTEON, 0, 60, 100), {0x90, 60, 100}},
      {"note on velocity 0", Note(SND_SEQ_EVENT_NOTEON, 15, 60, 0), {0x9F, 60, 0}},
      {"note off", Note(SND_SEQ_EVENT_NOTEOFF, 3, 61, 64), {0x83, 61, 64}},
      {"poly pressure", Note(SND_SEQ_EVENT_KEYPRESS, 1, 62, 5), {0xA1, 62, 5}},
      {"controller", Control(SND_SEQ_EVENT_CONTROLLER, 2, 7, 127), {0xB2, 7, 127}},
      {"program", Control(SND_SEQ_EVENT_PGMCHANGE, 4, 0, 42), {0xC4, 42}},
      {"channel pressure", Control(SND_SEQ_EVENT_CHANPRESS, 5, 0, 99), {0xD5, 99}},
      {"pitch bend centre", Control(SND_SEQ_EVENT_PITCHBEND, 6, 0, 0), {0xE6, 0x00, 0x40}},
      {"pitch bend low", Control(SND_SEQ_EVENT_PITCHBEND, 6, 0, -8192), {0xE6, 0x00, 0x00}},
      {"pitch bend high", Control(SND_SEQ_EVENT_PITCHBEND, 6, 0, 8191), {0xE6, 0x7F, 0x7F}},
      {"14-bit controller",
       Control(SND_SEQ_EVENT_CONTROL14, 0, 1, 0x2005),
       {0xB0, 1, 0x40, 0xB0, 33, 0x05}},
      {"14-bit number past 31", Control(SND_SEQ_EVENT_CONTROL14, 0, 64, 127), {0xB0, 64, 127}},
      {"NRPN",
       Control(SND_SEQ_EVENT_NONREGPARAM, 1, 0x0102, 0x0304),
       {0xB1, 99, 2, 0xB1, 98, 2, 0xB1, 6, 6, 0xB1, 38, 4}},
      {"RPN",
       Control(SND_SEQ_EVENT_REGPARAM, 1, 0, 0x0080),
       {0xB1, 101, 0, 0xB1, 100, 0, 0xB1, 6, 1, 0xB1, 38, 0}},
      {"song position", Control(SND_SEQ_EVENT_SONGPOS, 0, 0, 0x3FFF), {0xF2, 0x7F, 0x7F}},
      {"song select", Control(SND_SEQ_EVENT_SONGSEL, 0, 0, 9), {0xF3, 9}},
      {"time code", Control(SND_SEQ_EVENT_QFRAME, 0, 0, 0x35), {0xF1, 0x35}},
      {"tune request", Event(SND_SEQ_EVENT_TUNE_REQUEST), {0xF6}},
      {"clock", Event(SND_SEQ_EVENT_CLOCK), {0xF8}},
      {"tick", Event(SND_SEQ_EVENT_TICK), {0xF9}},
      {"start", Event(SND_SEQ_EVENT_START), {0xFA}},
      {"continue", Event(SND_SEQ_EVENT_CONTINUE), {0xFB}},
      {"stop", Event(SND_SEQ_EVENT_STOP), {0xFC}},
      {"active sensing", Event(SND_SEQ_EVENT_SENSING), {0xFE}},
      {"reset", Event(SND_SEQ_EVENT_RESET), {0xFF}},
      // A program may put any integer in an event: the bytes stay data bytes.
      {"values too large", Note(SND_SEQ_EVENT_NOTEON, 0x13, 200, 255), {0x93, 200 & 0x7F, 0x7F}},
      {"controller value negative",
       Control(SND_SEQ_EVENT_CONTROLLER, 0, 300, -1),
       {0xB0, 300 & 0x7F, 0x7F}},
      {"announcement", Event(SND_SEQ_EVENT_PORT_START), {}},
      {"echo", Event(SND_SEQ_EVENT_ECHO), {}},
      {"sysex is not mapped here", Event(SND_SEQ_EVENT_SYSEX), {}},
  };
  for (const Case& c : cases) {
    uint8_t out[kMaxAlsaEventBytes] = {};
    const size_t n = AlsaEventBytes(c.ev, out);
    EXPECT_EQ(Bytes(out, out + n), c.bytes) << c.what;
  }
}

// A sysex event's bytes are the sender's chunk as it is; only a variable-length sysex event
// has any.
TEST(AlsaEventBytesTest, SysexChunksAreTakenAsSent) {
  uint8_t chunk[] = {0xF0, 0x7E, 0x7F, 0x06};
  snd_seq_event_t ev = Event(SND_SEQ_EVENT_SYSEX);
  snd_seq_ev_set_variable(&ev, sizeof chunk, chunk);
  size_t n = 0;
  EXPECT_EQ(SysexBytes(ev, n), chunk);
  EXPECT_EQ(n, sizeof chunk);
  ev.flags = SND_SEQ_EVENT_LENGTH_FIXED;
  EXPECT_EQ(SysexBytes(ev, n), nullptr);
  EXPECT_EQ(n, 0u);
  snd_seq_event_t note = Note(SND_SEQ_EVENT_NOTEON, 0, 60, 1);
  EXPECT_EQ(SysexBytes(note, n), nullptr);
}

// After a flushed FIFO, the rest of a sysex that lost its middle never reaches the parser; the
// next message (or a new sysex) goes through, real-time bytes do without ending the skip.
TEST(AlsaEventBytesTest, AfterAnOverrunTheRestOfACutSysexIsDropped) {
  struct Event {
    bool sysex;
    uint8_t first;
    bool passes;
  };
  const std::vector<Event> events = {
      {true, 0x11, false}, {false, 0xF8, true}, {true, 0x12, false}, {true, 0xF7, false},
      {false, 0x90, true}, {true, 0x13, true},  // after the note-on: no longer skipping
  };
  OverrunSysexFilter filter;
  EXPECT_TRUE(filter.Pass(true, 0x10)) << "no overrun yet";
  filter.Overrun();
  for (size_t i = 0; i < events.size(); ++i) {
    EXPECT_EQ(filter.Pass(events[i].sysex, events[i].first), events[i].passes) << i;
  }
  filter.Overrun();
  EXPECT_TRUE(filter.Pass(true, 0xF0)) << "a new sysex";
  EXPECT_TRUE(filter.Pass(true, 0x14)) << "and its rest";
}

// Devices (kernel clients) first by client:port, then programs, then Midi Through; names as
// aconnect shows them, with their numbers.
TEST(AlsaPortOrderTest, DevicesFirstThenProgramsThenMidiThrough) {
  std::vector<AlsaPortInfo> ports = {
      {129, 0, "aseqdump", "out", false},
      {14, 0, "Midi Through", "Midi Through Port-0", true},
      {28, 1, "USB Keys", "USB Keys MIDI 2", true},
      {128, 0, "VMPK Output", "out", false},
      {24, 0, "Virtual Raw MIDI 1-0", "VirMIDI 1-0", true},
      {28, 0, "USB Keys", "USB Keys MIDI 1", true},
      {20, 0, "Müller Synth", "Port ü", true},
  };
  const std::vector<PortListing> listed = OrderAlsaPorts(ports);
  const std::vector<std::pair<std::string, PortGroup>> expected = {
      {"ALSA: Müller Synth:Port ü 20:0", PortGroup::kDevice},
      {"ALSA: Virtual Raw MIDI 1-0:VirMIDI 1-0 24:0", PortGroup::kDevice},
      {"ALSA: USB Keys:USB Keys MIDI 1 28:0", PortGroup::kDevice},
      {"ALSA: USB Keys:USB Keys MIDI 2 28:1", PortGroup::kDevice},
      {"ALSA: VMPK Output:out 128:0", PortGroup::kProgram},
      {"ALSA: aseqdump:out 129:0", PortGroup::kProgram},
      {"ALSA: Midi Through:Midi Through Port-0 14:0", PortGroup::kLoopback},
  };
  ASSERT_EQ(listed.size(), expected.size());
  for (size_t i = 0; i < listed.size(); ++i) {
    EXPECT_EQ(listed[i].name, expected[i].first) << i;
    EXPECT_EQ(listed[i].group, expected[i].second) << i;
    // The entries the backend opens by are in the same order.
    EXPECT_EQ(AlsaPortName(ports[i]), expected[i].first) << i;
  }
}

}  // namespace
}  // namespace tessaly
