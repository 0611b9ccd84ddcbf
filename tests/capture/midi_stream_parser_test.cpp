#include "capture/midi_stream_parser.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace tessaly {
namespace {

using Bytes = std::vector<uint8_t>;

// Writes what the parser reports as text: "data 643C90", "error 00403C", "sysex F0 09 F7
// end", "interrupted".
class RecordingSink : public MidiStreamSink {
 public:
  void ShortMessage(uint32_t message) override { Add("data", message); }
  void Malformed(uint32_t message) override { Add("error", message); }
  void SysexBytes(const uint8_t* bytes, size_t n, bool ends) override {
    std::string line = "sysex";
    for (size_t i = 0; i < n; ++i) {
      char hex[4];
      std::snprintf(hex, sizeof hex, " %02X", bytes[i]);
      line += hex;
    }
    if (ends) line += " end";
    events.push_back(line);
  }
  void SysexInterrupted() override { events.push_back("interrupted"); }

  std::vector<std::string> events;

 private:
  void Add(const char* what, uint32_t message) {
    char line[32];
    std::snprintf(line, sizeof line, "%s %06X", what, message);
    events.push_back(line);
  }
};

struct Case {
  const char* name;
  std::vector<Bytes> delivered;  // one entry per message the MIDI system delivers
  std::vector<std::string> expected;
};

TEST(MidiStreamParserTest, ClassifiesDeliveredMessages) {
  const Case cases[] = {
      {"note off", {{0x80, 0x3C, 0x40}}, {"data 403C80"}},
      {"note on", {{0x90, 0x3C, 0x64}}, {"data 643C90"}},
      {"key pressure on channel 16", {{0xAF, 0x3C, 0x20}}, {"data 203CAF"}},
      {"control change", {{0xB3, 0x07, 0x7F}}, {"data 7F07B3"}},
      {"program change has one data byte", {{0xC0, 0x05}}, {"data 0005C0"}},
      {"channel pressure has one data byte", {{0xD1, 0x40}}, {"data 0040D1"}},
      {"pitch bend", {{0xE0, 0x00, 0x40}}, {"data 4000E0"}},
      {"time code", {{0xF1, 0x23}}, {"data 0023F1"}},
      {"song position", {{0xF2, 0x10, 0x20}}, {"data 2010F2"}},
      {"song select", {{0xF3, 0x05}}, {"data 0005F3"}},
      {"tune request stands alone", {{0xF6}}, {"data 0000F6"}},
      {"realtime bytes",
       {{0xF8}, {0xFA}, {0xFB}, {0xFC}, {0xFE}, {0xFF}},
       {"data 0000F8", "data 0000FA", "data 0000FB", "data 0000FC", "data 0000FE", "data 0000FF"}},
      {"undefined status bytes are malformed",
       {{0xF4}, {0xF5}, {0xF9}, {0xFD}},
       {"error 0000F4", "error 0000F5", "error 0000F9", "error 0000FD"}},
      {"data bytes without a status byte: one report per run",
       {{0x3C, 0x40}, {0x01, 0x02, 0x03, 0x04}},
       {"error 00403C", "error 030201"}},
      {"a message too short for its status",
       {{0x90, 0x3C}, {0xC0}},
       {"error 003C90", "error 0000C0"}},
      {"no running status: extra data bytes are malformed",
       {{0x90, 0x3C, 0x64, 0x3E, 0x64}},
       {"data 643C90", "error 00643E"}},
      {"a status byte cuts the message before it short",
       {{0x90, 0x3C, 0x80, 0x3C, 0x00}},
       {"error 003C90", "data 003C80"}},
      {"two complete messages in one delivery",
       {{0x90, 0x3C, 0x64, 0x80, 0x3C, 0x00}},
       {"data 643C90", "data 003C80"}},
      {"realtime inside a short message stands apart",
       {{0x90, 0xF8, 0x3C, 0x64}},
       {"data 0000F8", "data 643C90"}},
      {"a short message does not continue in the next delivery",
       {{0x90, 0x3C}, {0x64}},
       {"error 003C90", "error 000064"}},
      {"whole sysex", {{0xF0, 0x09, 0x11, 0x41, 0xF7}}, {"sysex F0 09 11 41 F7 end"}},
      {"shortest sysex", {{0xF0, 0xF7}}, {"sysex F0 F7 end"}},
      {"a lone end byte is a one-byte sysex message", {{0xF7}}, {"sysex F7 end"}},
      {"realtime inside sysex splits the run",
       {{0xF0, 0x09, 0xF8, 0x11, 0xFE, 0xF7}},
       {"sysex F0 09", "data 0000F8", "sysex 11", "data 0000FE", "sysex F7 end"}},
      {"sysex continues over deliveries",
       {{0xF0, 0x09, 0x11}, {0x41, 0x42}, {0xF7}},
       {"sysex F0 09 11", "sysex 41 42", "sysex F7 end"}},
      {"events glued to an unterminated sysex are split again",
       {{0xF0, 0x09, 0x11, 0x41, 0x80, 0x3C, 0x00, 0xF7}},
       {"sysex F0 09 11 41", "interrupted", "data 003C80", "sysex F7 end"}},
      {"a new F0 interrupts the open message",
       {{0xF0, 0x09, 0xF0, 0x09, 0x12, 0xF7}},
       {"sysex F0 09", "interrupted", "sysex F0 09 12 F7 end"}},
      {"an undefined status byte interrupts sysex",
       {{0xF0, 0x09, 0xF4, 0xF7}},
       {"sysex F0 09", "interrupted", "error 0000F4", "sysex F7 end"}},
      {"an end byte after a cut-short message",
       {{0x90, 0x3C, 0xF7}},
       {"error 003C90", "sysex F7 end"}},
      {"an empty delivery reports nothing", {{}}, {}},
  };
  for (const Case& c : cases) {
    MidiStreamParser parser;
    RecordingSink sink;
    for (const Bytes& message : c.delivered) parser.Feed(message.data(), message.size(), sink);
    EXPECT_EQ(sink.events, c.expected) << c.name;
  }
}

TEST(MidiStreamParserTest, ResetForgetsAnOpenSysexMessage) {
  MidiStreamParser parser;
  RecordingSink sink;
  const Bytes start = {0xF0, 0x09, 0x11};
  const Bytes rest = {0x41, 0xF7};
  parser.Feed(start.data(), start.size(), sink);
  EXPECT_TRUE(parser.InSysex());
  parser.Reset();
  EXPECT_FALSE(parser.InSysex());
  parser.Feed(rest.data(), rest.size(), sink);
  const std::vector<std::string> expected = {"sysex F0 09 11", "error 000041", "sysex F7 end"};
  EXPECT_EQ(sink.events, expected);
}

}  // namespace
}  // namespace tessaly
