// The .mid and .syx readers on files that other programs wrote, or that are damaged: what is
// wrong is reported at its byte offset, and everything that can still be read is read.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "capture/smf_reader.h"
#include "capture/syx_reader.h"
#include "tests/support/read_capture_file.h"

namespace tessaly {
namespace {

using testing::ReadCaptureFile;
using Bytes = std::vector<uint8_t>;

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes Text(const char* text) {
  return Bytes(text, text + std::char_traits<char>::length(text));
}

Bytes Chunk(const char* id, const Bytes& body, size_t length) {
  Bytes chunk = Text(id);
  for (int i = 3; i >= 0; --i) chunk.push_back(static_cast<uint8_t>(length >> (8 * i)));
  chunk.insert(chunk.end(), body.begin(), body.end());
  return chunk;
}
Bytes Chunk(const char* id, const Bytes& body) {
  return Chunk(id, body, body.size());
}

// 14 bytes: the first track chunk starts at 14, its events at 22.
Bytes Head(uint16_t format, uint16_t tracks, uint16_t division) {
  return Chunk("MThd", {0, static_cast<uint8_t>(format), static_cast<uint8_t>(tracks >> 8),
                        static_cast<uint8_t>(tracks), static_cast<uint8_t>(division >> 8),
                        static_cast<uint8_t>(division)});
}

const Bytes kNote = {0x00, 0x90, 0x3C, 0x64};
const Bytes kEnd = {0x00, 0xFF, 0x2F, 0x00};

struct Case {
  const char* name;
  Bytes file;
  std::vector<std::string> seen;
};

TEST(CaptureFileMalformedTest, SmfProblemsAtTheirOffsetsAndWhatCouldBeRead) {
  const Case cases[] = {
      // Files as other programs write them.
      {"format 1, tempo changes in two tracks, running status, equal times in track order",
       Cat({Head(1, 3, 96), Chunk("MTrk", Cat({{0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40}, kEnd})),
            Chunk("MTrk", Cat({kNote, {0x60, 0x3C, 0x00, 0x60, 0x90, 0x3E, 0x64}, kEnd})),
            Chunk("MTrk", Cat({{0x60, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0xC0, 0x05},
                               {0x00, 0xF0, 0x03, 0x01, 0x02, 0xF7},
                               kEnd}))}),
       {"0 90 3c 64", "1000000000 90 3c 00", "1000000000 c0 05", "1000000000 f0 01 02 f7",
        "1500000000 90 3e 64"}},
      {"SMPTE 30 frames of 80 ticks",
       Cat({Head(0, 1, 0xE250), Chunk("MTrk", Cat({kNote, {0x92, 0x60, 0x80, 0x3C, 0x00}, kEnd}))}),
       {"0 90 3c 64", "1000000000 80 3c 00"}},
      {"SMPTE 29.97 frames of 100 ticks",
       Cat({Head(0, 1, 0xE364),
            Chunk("MTrk", Cat({kNote, {0x81, 0xEA, 0x30, 0x80, 0x3C, 0x00}, kEnd}))}),
       {"0 90 3c 64", "10010000000 80 3c 00"}},
      {"a sysex message in pieces, and an escape",
       Cat({Head(0, 1, 96),
            Chunk("MTrk", Cat({{0x00, 0xF0, 0x02, 0x01, 0x02, 0x10, 0xF7, 0x02, 0x03, 0xF7},
                               {0x00, 0xF7, 0x01, 0xF8},
                               kEnd}))}),
       {"0 f0 01 02", "83333333 03 f7", "83333333 f8"}},
      {"running status across a meta event; bytes after the end of the track are not read",
       Cat({Head(0, 1, 96), Chunk("MTrk", Cat({kNote,
                                               {0x00, 0xFF, 0x01, 0x02, 'h', 'i', 0x00, 0x3E, 0x64},
                                               kEnd,
                                               {0x00, 0x90, 0x40, 0x40}}))}),
       {"0 90 3c 64", "0 90 3e 64"}},
      {"an unknown chunk is skipped",
       Cat({Head(0, 1, 96), Chunk("XFIH", {1, 2, 3, 4, 5}), Chunk("MTrk", Cat({kNote, kEnd}))}),
       {"0 90 3c 64"}},
      {"a wrapper before the header",
       Cat({Text("RIFF\x01\x02\x03\x04RMIDdata"),
            {0, 0, 0, 0},
            Head(0, 1, 96),
            Chunk("MTrk", Cat({kNote, kEnd}))}),
       {"P 0: no MThd chunk at the start: reading the one at byte 20", "0 90 3c 64"}},
      // What is refused.
      {"empty", {}, {"P 0: no MThd chunk: not a Standard MIDI File"}},
      {"not an SMF", Text("hello, world"), {"P 0: no MThd chunk: not a Standard MIDI File"}},
      {"header cut short", Text("MThd\x00\x00\x00\x06\x00"), {"P 0: MThd chunk cut short"}},
      {"header shorter than 6",
       Cat({Chunk("MThd", {0, 0, 0, 1, 0, 96}, 4)}),
       {"P 4: MThd chunk shorter than 6 bytes"}},
      {"format 2",
       Cat({Head(2, 1, 96), Chunk("MTrk", Cat({kNote, kEnd}))}),
       {"P 8: SMF format 2 (independent sequences) is not read"}},
      {"division 0",
       Cat({Head(0, 1, 0), Chunk("MTrk", Cat({kNote, kEnd}))}),
       {"P 12: division of 0 ticks a quarter note"}},
      {"SMPTE of 0 ticks a frame",
       Cat({Head(0, 1, 0xE800), Chunk("MTrk", Cat({kNote, kEnd}))}),
       {"P 12: bad SMPTE division"}},
      // Damage: what comes before it is read.
      {"track chunk cut short",
       Cat({Head(0, 1, 96),
            Chunk("MTrk", Cat({kNote, {0x60, 0x80, 0x3C, 0x00, 0x00, 0x90}}), 100)}),
       {"P 18: chunk length past the end of the file (file cut short?)", "0 90 3c 64",
        "500000000 80 3c 00"}},
      {"a quantity of 5 bytes",
       Cat({Head(0, 1, 96),
            Chunk("MTrk", Cat({kNote, {0x81, 0x81, 0x81, 0x81, 0x01, 0x80, 0x3C, 0x00}, kEnd}))}),
       {"P 26: variable-length quantity longer than 4 bytes", "0 90 3c 64"}},
      {"no end of track",
       Cat({Head(0, 1, 96), Chunk("MTrk", kNote)}),
       {"P 26: track without end-of-track event", "0 90 3c 64"}},
      {"a data byte first",
       Cat({Head(0, 1, 96), Chunk("MTrk", Cat({{0x00, 0x3C, 0x64}, kEnd}))}),
       {"P 23: data byte with no running status"}},
      {"a status byte inside a note",
       Cat({Head(0, 1, 96), Chunk("MTrk", Cat({kNote, {0x00, 0x90, 0x3C, 0x90, 0x40}, kEnd}))}),
       {"P 29: status byte inside a channel message", "0 90 3c 64"}},
      {"a status byte no SMF has",
       Cat({Head(0, 1, 96), Chunk("MTrk", Cat({kNote, {0x00, 0xF4}, kEnd}))}),
       {"P 27: status byte that is no SMF event", "0 90 3c 64"}},
      {"a sysex event longer than its track",
       Cat({Head(0, 1, 96), Chunk("MTrk", Cat({kNote, {0x00, 0xF0, 0x64, 0x01, 0x02, 0xF7}}))}),
       {"P 26: event cut short by the end of its track", "0 90 3c 64"}},
      {"a bad tempo",
       Cat({Head(0, 1, 96),
            Chunk("MTrk", Cat({{0x00, 0xFF, 0x51, 0x02, 0x07, 0xA1}, kNote, kEnd}))}),
       {"P 22: bad tempo event (not 3 bytes, or 0)", "0 90 3c 64"}},
      {"fewer tracks than the header says",
       Cat({Head(1, 2, 96), Chunk("MTrk", Cat({kNote, kEnd}))}),
       {"P 10: the header says 2 tracks, the file has 1", "0 90 3c 64"}},
      {"bytes after the last chunk",
       Cat({Head(0, 1, 96), Chunk("MTrk", Cat({kNote, kEnd})), {0, 1, 2, 3, 4, 5, 6, 7, 8}}),
       {"P 30: not a chunk (no chunk name)", "0 90 3c 64"}},
      {"a chunk header cut short",
       Cat({Head(0, 1, 96), Chunk("MTrk", Cat({kNote, kEnd})), Text("MTr")}),
       {"P 30: chunk header cut short", "0 90 3c 64"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const size_t piece : {size_t{1}, c.file.size() + 1}) {
      SmfReader reader;
      EXPECT_EQ(ReadCaptureFile(reader, c.file, piece), c.seen);
    }
  }
  // A file larger than the reader holds: read as far as it holds.
  const Bytes file = Cat({Head(0, 1, 96), Chunk("MTrk", Cat({kNote, kNote, kEnd}))});
  for (const size_t piece : {size_t{1}, file.size()}) {
    SmfReader reader(30);
    EXPECT_EQ(ReadCaptureFile(reader, file, piece),
              (std::vector<std::string>{"P 30: file too large to hold: the rest is not read",
                                        "P 18: chunk length past the end of the file (file cut "
                                        "short?)",
                                        "0 90 3c 64", "0 90 3c 64"}));
  }
}

TEST(CaptureFileMalformedTest, SyxProblemsAtTheirOffsetsAndWhatCouldBeRead) {
  const Case cases[] = {
      {"empty", {}, {}},
      {"bytes between messages",
       {0xF0, 0x01, 0xF7, 0x55, 0x66, 0xF0, 0x02, 0xF7},
       {"0 f0 01 f7", "P 3: bytes between sysex messages, skipped", "1600000 f0 02 f7"}},
      {"a message cut by the next",
       {0xF0, 0x01, 0x02, 0xF0, 0x03, 0xF7},
       {"P 3: sysex message without its F7, skipped", "960000 f0 03 f7"}},
      {"a message cut by a status byte",
       {0xF0, 0x01, 0x90, 0xF7, 0xF0, 0x02, 0xF7},
       {"P 2: sysex message without its F7, skipped", "1280000 f0 02 f7"}},
      {"the last message cut short",
       {0xF0, 0x01, 0xF7, 0xF0, 0x05},
       {"0 f0 01 f7", "P 5: last sysex message without its F7 (file cut short?), skipped"}},
      {"one byte, an F0",
       {0xF0},
       {"P 1: last sysex message without its F7 (file cut short?), skipped"}},
      {"one byte, not an F0", {0x42}, {"P 0: bytes between sysex messages, skipped"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const size_t piece : {size_t{1}, c.file.size() + 1}) {
      SyxReader reader;
      EXPECT_EQ(ReadCaptureFile(reader, c.file, piece), c.seen);
    }
  }
}

}  // namespace
}  // namespace tessaly
