// The recorder writing an SMF and a .syx: the format by the file's ending, the file complete
// once stopped, and the stop line counting what the format left out.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "capture/capture_file_formats.h"
#include "capture/capture_file_writer.h"
#include "capture/recorder.h"
#include "tests/support/read_capture_file.h"

namespace tessaly {
namespace {

using testing::ReadCaptureFile;

TEST(RecorderFormatsTest, EachEndingItsFormatCompleteOnceStopped) {
  struct Case {
    const char* ending;
    int kept;
    const char* left;
    std::vector<std::string> seen;
  };
  const Case cases[] = {
      {".mid",
       4,
       "; 2 left out (not in SMF)",
       {"0 90 3c 64", "0 f0 09 01 f7", "2000000 f8", "3000000 80 3c 00"}},
      {".syx", 1, "; 5 left out (not in .syx)", {"0 f0 09 01 f7"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ending);
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("tessaly-record-" + std::to_string(getpid()) + c.ending))
                                 .string();
    std::string error;
    auto recorder = Recorder::Start(path, error);
    ASSERT_NE(recorder, nullptr) << error;
    recorder->PortOpened("JACK: sender");
    recorder->InputStarted(123456789000);  // as the service's input thread does
    const std::vector<std::vector<uint8_t>> messages = {
        {0x90, 0x3C, 0x64}, {0xF0, 0x09, 0x01, 0xF7}, {0xF4}, {0xF8}, {0x80, 0x3C, 0x00}};
    for (size_t i = 0; i < messages.size(); ++i) {
      // 1 ms apart, from an arbitrary point of the clock.
      const int64_t ns = 123456789000 + static_cast<int64_t>(i == 0 ? 0 : i - 1) * 1000000;
      recorder->Delivered(ns, messages[i].data(), messages[i].size());
    }
    EXPECT_EQ(recorder->Stop(),
              "recording stopped: " + std::to_string(c.kept) + " events in " + path + c.left);
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    auto reader = MakeCaptureFileReader(path);
    EXPECT_EQ(ReadCaptureFile(*reader, file, file.size() + 1), c.seen);
    std::filesystem::remove(path);
  }
}

TEST(RecorderFormatsTest, AnSmfCutShortByACrashReadsUpToTheCut) {
  // What the file holds before the recording stops: the track's length is not written yet.
  auto writer = MakeCaptureFileWriter("cut.mid");
  std::string out;
  writer->Begin(out);
  const uint8_t note[3] = {0x90, 0x3C, 0x64};
  for (int64_t ms = 0; ms < 3; ++ms) {
    CaptureEvent event;
    event.ns = 5000000000 + ms * 1000000;
    event.bytes = note;
    ASSERT_TRUE(writer->Append(event, out));
  }
  out.pop_back();  // cut inside the last event
  auto reader = MakeCaptureFileReader("cut.mid");
  EXPECT_EQ(ReadCaptureFile(*reader, std::vector<uint8_t>(out.begin(), out.end()), 4096),
            (std::vector<std::string>{"P 18: chunk length past the end of the file (file cut "
                                      "short?)",
                                      "0 90 3c 64", "1000000 90 3c 64"}));
}

// The service delivers a long sysex in pieces of up to RawMessageQueue::kMaxMessage bytes; a
// piece that long is recorded too (in records of its own), in every format, byte for byte.
TEST(RecorderFormatsTest, ASysexInTheLongestPiecesTheServiceDeliversIsRecordedWhole) {
  std::vector<uint8_t> sysex(300000);
  for (size_t i = 0; i < sysex.size(); ++i) sysex[i] = static_cast<uint8_t>(i % 0x7F);
  sysex.front() = 0xF0;
  sysex.back() = 0xF7;
  for (const char* ending : {".txt", ".mid", ".syx"}) {
    SCOPED_TRACE(ending);
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("tessaly-record-long-" + std::to_string(getpid()) + ending))
                                 .string();
    std::string error;
    auto recorder = Recorder::Start(path, error);
    ASSERT_NE(recorder, nullptr) << error;
    const size_t first = RawMessageQueue::kMaxMessage;
    recorder->Delivered(1000000, sysex.data(), first);
    recorder->Delivered(2000000, sysex.data() + first, sysex.size() - first);
    const std::string stopped = recorder->Stop();
    EXPECT_EQ(stopped.find("early"), std::string::npos) << stopped;
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    auto reader = MakeCaptureFileReader(path);
    testing::CollectBytes sink;
    reader->Feed(file.data(), file.size(), sink);
    reader->Finish(sink);
    EXPECT_EQ(sink.problems, 0u);
    EXPECT_EQ(sink.bytes, sysex);
    std::filesystem::remove(path);
  }
}

}  // namespace
}  // namespace tessaly
