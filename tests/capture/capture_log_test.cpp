#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "capture/capture_file_writer.h"
#include "capture/capture_log_format.h"
#include "capture/capture_log_reader.h"

namespace tessaly {
namespace {

// What the reader handed over, as text: "E <line the writer makes of it>" or "P <line>: what".
class Collect : public CaptureLogSink {
 public:
  void Event(const CaptureEvent& event) override {
    std::string line;
    AppendCaptureLogLine(event, line);
    seen.push_back("E " + line.substr(0, line.size() - 1));
  }
  void Problem(uint64_t line, std::string_view what) override {
    seen.push_back("P " + std::to_string(line) + ": " + std::string(what));
  }
  std::vector<std::string> seen;
};

std::vector<std::string> Read(const std::string& text, size_t piece) {
  Collect sink;
  CaptureLogReader reader;
  for (size_t at = 0; at < text.size(); at += piece) {
    const size_t n = std::min(piece, text.size() - at);
    reader.Feed(reinterpret_cast<const uint8_t*>(text.data() + at), n, sink);
  }
  reader.Finish(sink);
  return sink.seen;
}

std::span<const uint8_t> Span(const std::vector<uint8_t>& bytes) {
  return {bytes.data(), bytes.size()};
}

// An event and the line it is written as, without the newline.
struct Written {
  CaptureEvent event;
  std::string line;
};

// The line AppendCaptureLogLine makes of the event; returned, newline and all.
std::string ExpectWritten(const Written& c) {
  std::string line;
  AppendCaptureLogLine(c.event, line);
  EXPECT_EQ(line, c.line + "\n");
  return line;
}

TEST(CaptureLogTest, EveryKindWrittenAndReadBack) {
  const std::vector<uint8_t> name = {'J', 'A', 'C', 'K', ':', ' ', 'a', '\\', 0x01, 0xE9, 0x7F};
  const std::vector<uint8_t> note = {0x90, 0x3C, 0x64};
  const std::vector<uint8_t> odd = {0xF0, 0x09, 0x80, 0x00, 0xFF};
  const Written cases[] = {
      {{CaptureKind::kPort, 5, Span(name)}, "5 port JACK: a\\x5c\\x01\\xe9\\x7f"},
      {{CaptureKind::kData, 1500000000, Span(note)}, "1500000000 data 90 3c 64"},
      {{CaptureKind::kData, 9223372036854775807, Span(odd)},
       "9223372036854775807 data f0 09 80 00 ff"},
      {{CaptureKind::kDropMessages, 7, {}, 12}, "7 drop messages 12"},
      {{CaptureKind::kDropSysexBytes, 8, {}, 3}, "8 drop sysex-bytes 3"},
      {{CaptureKind::kLoss, 9, {}, 4, true, SystemLoss::kJackLostEvents},
       "9 loss jack-lost-events 4"},
      {{CaptureKind::kLoss, 10, {}, 0, false, SystemLoss::kJackXrun}, "10 loss jack-xrun -"},
      {{CaptureKind::kLoss, 11, {}, 2, true, SystemLoss::kAlsaOverrun}, "11 loss alsa-overrun 2"},
      {{CaptureKind::kCut, 12, {}}, "12 cut"},
  };
  std::string log = std::string(kCaptureLogHeader) + "\n";
  std::vector<std::string> expected;
  for (const Written& c : cases) {
    log += ExpectWritten(c);
    expected.push_back("E " + c.line);
  }
  for (size_t piece : {size_t{1}, size_t{7}, log.size()}) EXPECT_EQ(Read(log, piece), expected);
  // Bytes come back, not only the text.
  CaptureEvent event;
  std::string scratch;
  ASSERT_EQ(ParseCaptureLogLine(cases[0].line, event, scratch), "");
  EXPECT_EQ(std::vector<uint8_t>(event.bytes.begin(), event.bytes.end()), name);
}

// The recorder's writer keeps the time's digits while the time stays the same: its file is the
// lines above byte for byte, however the times repeat, go back, or change their length.
TEST(CaptureLogTest, TheRecordersWriterMakesTheSameBytes) {
  const std::vector<uint8_t> port = {'J', 'A', 'C', 'K', ':', ' ', 'a', '\\', 0xE9};
  const std::vector<uint8_t> note = {0x90, 0x3C, 0x64};
  const std::vector<uint8_t> off = {0x80, 0x3C, 0x00};
  const std::vector<uint8_t> odd = {0xF0, 0x00, 0x7F, 0x80, 0xFF, 0xF7};
  const std::vector<uint8_t> clock = {0xF8};
  std::vector<uint8_t> every(256);
  std::string everyHex;
  for (size_t i = 0; i < every.size(); ++i) {
    every[i] = static_cast<uint8_t>(i);
    char hex[4];
    std::snprintf(hex, sizeof hex, " %02x", static_cast<unsigned>(i));
    everyHex += hex;
  }
  const Written cases[] = {
      {{CaptureKind::kPort, 81234500000, Span(port)}, "81234500000 port JACK: a\\x5c\\xe9"},
      {{CaptureKind::kData, 81235000000, Span(note)}, "81235000000 data 90 3c 64"},
      {{CaptureKind::kData, 81235000000, Span(odd)}, "81235000000 data f0 00 7f 80 ff f7"},
      {{CaptureKind::kLoss, 81235000000, {}, 0, false, SystemLoss::kJackXrun},
       "81235000000 loss jack-xrun -"},
      {{CaptureKind::kCut, 81235000000, {}}, "81235000000 cut"},
      {{CaptureKind::kData, 81235000001, Span(clock)}, "81235000001 data f8"},
      {{CaptureKind::kData, 999999999, Span(off)}, "999999999 data 80 3c 00"},
      {{CaptureKind::kData, 1000000000, Span(off)}, "1000000000 data 80 3c 00"},
      {{CaptureKind::kData, -5, Span(clock)}, "0 data f8"},
      {{CaptureKind::kDropMessages, 0, {}, 3}, "0 drop messages 3"},
      {{CaptureKind::kData, 9223372036854775807, Span(every)},
       "9223372036854775807 data" + everyHex},
      {{CaptureKind::kData, 9223372036854775807, Span(note)}, "9223372036854775807 data 90 3c 64"},
      {{CaptureKind::kData, 7, Span(note)}, "7 data 90 3c 64"},
  };
  auto writer = MakeCaptureFileWriter("take.txt");
  std::string file;
  writer->Begin(file);
  std::string expected = "tessaly capture log 1\n";
  for (const Written& c : cases) {
    ASSERT_TRUE(writer->Append(c.event, file));
    ExpectWritten(c);
    expected += c.line + "\n";
  }
  EXPECT_EQ(file, expected);
  EXPECT_EQ(writer->Kept(), std::size(cases));
}

TEST(CaptureLogTest, BadLinesAreNamedByNumberAndSkipped) {
  const std::string header = std::string(kCaptureLogHeader) + "\n";
  struct Case {
    std::string text;
    std::vector<std::string> seen;
  };
  const std::vector<Case> cases = {
      {header + "x data 90\n5 data 90 3c 64\n",
       {"P 2: no time in nanoseconds", "E 5 data 90 3c 64"}},
      {header + "\n# a note\r\n1 data 90 3c 64\r\n", {"E 1 data 90 3c 64"}},
      {header + "1 data\n1 data 9\n1 data 90 \n1 data 9g\n1 data 903c\n",
       {"P 2: bad hex bytes", "P 3: bad hex bytes", "P 4: bad hex bytes", "P 5: bad hex bytes",
        "P 6: bad hex bytes"}},
      {header + "1 bogus 1\n1 drop lots 1\n1 drop messages x\n1 loss jack 1\n1 loss jack-xrun\n",
       {"P 2: unknown event kind", "P 3: unknown drop kind", "P 4: bad count",
        "P 5: unknown loss kind", "P 6: bad count"}},
      {header + "1 cut 3\n1 cut \n1 cutx\n",
       {"P 2: text after cut", "P 3: text after cut", "P 4: unknown event kind"}},
      {header + "1 port a\\x4\n1 port \xe9\n1 port a\\y41\n",
       {"P 2: bad port name", "P 3: bad port name", "P 4: bad port name"}},
      {header + "99999999999999999999 data 90\n-1 data 90\n",
       {"P 2: no time in nanoseconds", "P 3: no time in nanoseconds"}},
      {header + "1 data 90 3c",
       {"P 2: last line has no newline (file cut short?)", "E 1 data 90 3c"}},
      {"MThd\n1 data 90\n", {"P 1: not a tessaly capture log (no header line)"}},
      {"", {"P 1: empty file, not a tessaly capture log"}},
      {header + "1 data " + std::string(CaptureLogReader::kMaxLine, 'f') + "\n2 data 80 3c 00\n",
       {"P 2: line too long", "E 2 data 80 3c 00"}},
  };
  for (const Case& c : cases) {
    for (size_t piece : {size_t{1}, size_t{4096}, c.text.size() + 1}) {
      if (piece == 1 && c.text.size() > 100000) continue;
      EXPECT_EQ(Read(c.text, piece), c.seen) << c.text.substr(0, 60) << " piece " << piece;
    }
  }
}

}  // namespace
}  // namespace tessaly
