// The .mid and .syx writers and readers together: what the recorder's writer makes of every
// kind of event, read back by the reader the replay uses for the same name.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/capture_file_formats.h"
#include "capture/capture_file_writer.h"
#include "tests/support/read_capture_file.h"

namespace tessaly {
namespace {

using testing::EventText;
using testing::ReadCaptureFile;

constexpr int64_t kStart = 7000000123;  // the first written event's arrival
constexpr int64_t kMs = 1000000;
constexpr int64_t kLeftOut = -1;

struct Row {
  CaptureKind kind;
  int64_t ns;  // after kStart
  std::vector<uint8_t> bytes;
  int64_t smfMs;  // its time read back from the SMF, or kLeftOut
  bool syx;       // in the .syx (alone, or a piece of a message)
};

std::vector<uint8_t> Sysex(size_t data) {
  std::vector<uint8_t> bytes(data + 2);
  bytes.front() = 0xF0;
  for (size_t i = 0; i < data; ++i) bytes[i + 1] = static_cast<uint8_t>((i * 7 + 1) & 0x7F);
  bytes.back() = 0xF7;
  return bytes;
}

std::vector<Row> Rows() {
  constexpr auto D = CaptureKind::kData;
  std::vector<Row> rows = {
      {CaptureKind::kPort, -kMs, {'J', 'A', 'C', 'K'}, kLeftOut, false},
      {D, 0, {0x80, 0x3C, 0x40}, 0, false},
      {D, 499999, {0x91, 0x3C, 0x64}, 0, false},  // times to the nearest millisecond
      {D, 500000, {0xA2, 0x3C, 0x10}, 1, false},
      {D, 1234567890, {0xB3, 0x07, 0x7F}, 1235, false},
      {D, 1300 * kMs, {0xC4, 0x05}, 1300, false},
      {D, 1300 * kMs, {0xD5, 0x40}, 1300, false},
      {D, 1301 * kMs, {0xEF, 0x00, 0x40}, 1301, false},
      {D, 1302 * kMs, {0xF1, 0x23}, 1302, false},
      {D, 1303 * kMs, {0xF2, 0x01, 0x02}, 1303, false},
      {D, 1304 * kMs, {0xF3, 0x05}, 1304, false},
      {D, 1305 * kMs, {0xF6}, 1305, false},
      {D, 1306 * kMs, {0xF8}, 1306, false},
      {D, 1307 * kMs, {0xFA}, 1307, false},
      {D, 1308 * kMs, {0xFB}, 1308, false},
      {D, 1309 * kMs, {0xFC}, 1309, false},
      {D, 1310 * kMs, {0xFE}, 1310, false},
      {D, 1311 * kMs, {0xFF}, 1311, false},
      // Malformed input and what is not a message: in neither.
      {D, 1400 * kMs, {0xF4}, kLeftOut, false},
      {D, 1401 * kMs, {0xFD}, kLeftOut, false},
      {D, 1402 * kMs, {0x90, 0x3C}, kLeftOut, false},
      {D, 1403 * kMs, {0x90, 0x3C, 0x64, 0x40}, kLeftOut, false},
      {D, 1404 * kMs, {0x3C, 0x40}, kLeftOut, false},  // no sysex message open
      {D, 1405 * kMs, {0xF0, 0x01, 0x90, 0xF7}, kLeftOut, false},
      {CaptureKind::kDropMessages, 1406 * kMs, {}, kLeftOut, false},
      {CaptureKind::kLoss, 1407 * kMs, {}, kLeftOut, false},
      // A message cut short by its sender going away: no later piece continues it.
      {D, 1408 * kMs, {0xF0, 0x05, 0x06}, 1408, false},
      {CaptureKind::kCut, 1409 * kMs, {}, kLeftOut, false},
      {D, 1410 * kMs, {0x07, 0xF7}, kLeftOut, false},
      // A message delivered in pieces: three events in the SMF, one message in the .syx.
      {D, 3000 * kMs, {0xF0, 0x01, 0x02}, 3000, true},
      {D, 3001 * kMs, {0xF8}, 3001, false},  // realtime between the pieces
      {D, 3001 * kMs, {0x03, 0x04}, 3001, true},
      {D, 3002 * kMs, {0x05, 0xF7}, 3002, true},
      {D, 3003 * kMs, {0xF7}, 3003, false},  // an end with no message open
      // A gap longer than a delta time holds, then a time before it.
      {D, 300 * 3600000 * kMs, {0x92, 0x40, 0x40}, 300 * 3600000, false},
      {D, 5 * kMs, {0x82, 0x40, 0x00}, 300 * 3600000, false},
  };
  int64_t ms = 2000;
  for (const size_t data : {size_t{1}, size_t{63}, size_t{64}, size_t{65}, size_t{5000},
                            size_t{65536}, size_t{1} << 20}) {
    rows.insert(rows.end() - 7, Row{D, ms * kMs, Sysex(data), ms, true});
    ++ms;
  }
  return rows;
}

TEST(CaptureFileRoundTripTest, EveryKindOfMessageWrittenAndReadBack) {
  const std::vector<Row> rows = Rows();
  // The .syx: the messages back to back, each at its start on a MIDI cable.
  std::vector<std::string> syx;
  uint64_t syxKept = 0;
  uint64_t offset = 0;
  std::vector<uint8_t> message;
  for (const Row& row : rows) {
    if (!row.syx) continue;
    ++syxKept;
    message.insert(message.end(), row.bytes.begin(), row.bytes.end());
    if (message.back() != 0xF7) continue;
    syx.push_back(EventText(static_cast<int64_t>(offset) * 320000, message));
    offset += message.size();
    message.clear();
  }
  std::vector<std::string> smf;
  uint64_t smfKept = 0;
  for (const Row& row : rows) {
    if (row.smfMs == kLeftOut) continue;
    ++smfKept;
    smf.push_back(EventText(row.smfMs * kMs, row.bytes));
  }
  struct Format {
    const char* path;
    const std::vector<std::string>& expected;
    uint64_t kept;
  };
  for (const Format& format :
       {Format{"capture.mid", smf, smfKept}, Format{"x.SYX", syx, syxKept}}) {
    SCOPED_TRACE(format.path);
    auto writer = MakeCaptureFileWriter(format.path);
    std::string out;
    writer->Begin(out);
    for (const Row& row : rows) {
      CaptureEvent event;
      event.kind = row.kind;
      event.ns = kStart + row.ns;
      event.bytes = row.bytes;
      ASSERT_TRUE(writer->Append(event, out));
    }
    writer->End(out);
    const CaptureFileWriter::Patch patch = writer->Finish();
    ASSERT_LE(patch.at + patch.n, out.size());
    for (size_t i = 0; i < patch.n; ++i) out[patch.at + i] = static_cast<char>(patch.bytes[i]);
    EXPECT_EQ(writer->Kept(), format.kept);
    EXPECT_EQ(writer->LeftOut(), rows.size() - format.kept);
    const std::vector<uint8_t> file(out.begin(), out.end());
    for (const size_t piece : {size_t{1}, size_t{4093}, file.size()}) {
      SCOPED_TRACE(piece);
      auto reader = MakeCaptureFileReader(format.path);
      EXPECT_EQ(reader->PlaceUnit(), "byte");
      const auto seen = ReadCaptureFile(*reader, file, piece);
      ASSERT_EQ(seen.size(), format.expected.size());
      for (size_t i = 0; i < seen.size(); ++i) ASSERT_EQ(seen[i], format.expected[i]) << i;
    }
  }
}

}  // namespace
}  // namespace tessaly
