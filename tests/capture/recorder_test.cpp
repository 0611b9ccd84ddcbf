#include "capture/recorder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace tessaly {
namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(RecorderTest, WritesEveryEventInOrderThenSaysHowMany) {
  const std::string path = (std::filesystem::temp_directory_path() /
                            ("tessaly-record-" + std::to_string(getpid()) + ".txt"))
                               .string();
  std::string error;
  auto recorder = Recorder::Start(path, error);
  ASSERT_NE(recorder, nullptr) << error;
  recorder->PortOpened("JACK: a\\b");
  recorder->InputStarted(0);  // as the service's input thread does: the line stands at the start
  std::string expected = "tessaly capture log 1\n";
  std::vector<uint8_t> sysex(100000, 0x41);
  sysex.front() = 0xF0;
  sysex.back() = 0xF7;
  for (int i = 0; i < 20000; ++i) {
    const uint8_t note[3] = {0x90, static_cast<uint8_t>(i & 0x7F), 0x64};
    if (i == 777) {
      recorder->Delivered(int64_t{i} * 1000000, sysex.data(), sysex.size());
    } else if (i == 900) {
      // The losses the input thread hands over, as lines of their own.
      CaptureEvent lost;
      lost.kind = CaptureKind::kDropMessages;
      lost.ns = 899500000;
      lost.count = 12;
      recorder->Lost(lost);
      lost.kind = CaptureKind::kLoss;
      lost.loss = SystemLoss::kJackXrun;
      lost.counted = false;
      recorder->Lost(lost);
      lost.loss = SystemLoss::kAlsaOverrun;
      lost.counted = true;
      lost.count = uint64_t{1} << 40;
      recorder->Lost(lost);
      recorder->Delivered(int64_t{i} * 1000000, note, 3);
    } else {
      recorder->Delivered(int64_t{i} * 1000000, note, 3);
    }
  }
  const std::string line = recorder->Stop();
  EXPECT_EQ(line, "recording stopped: 20004 events in " + path);
  const std::string text = ReadFile(path);
  std::istringstream in(text);
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  ASSERT_EQ(lines.size(), 20005u);
  EXPECT_EQ(lines[0], "tessaly capture log 1");
  EXPECT_EQ(lines[1], "0 port JACK: a\\x5cb");
  EXPECT_EQ(lines[2], "0 data 90 00 64");
  EXPECT_EQ(lines[2 + 777].substr(0, 25), "777000000 data f0 41 41 4");
  EXPECT_EQ(lines[2 + 777].size(), std::string("777000000 data").size() + 3 * sysex.size());
  EXPECT_EQ(lines[2 + 900], "899500000 drop messages 12");
  EXPECT_EQ(lines[3 + 900], "899500000 loss jack-xrun -");
  EXPECT_EQ(lines[4 + 900], "899500000 loss alsa-overrun 1099511627776");
  EXPECT_EQ(lines[5 + 900], "900000000 data 90 04 64");
  EXPECT_EQ(lines.back(), "19999000000 data 90 1f 64");
  std::filesystem::remove(path);
}

TEST(RecorderTest, FullDiskOrNoFileSayWhy) {
  std::string error;
  EXPECT_EQ(Recorder::Start("/proc/none/x.txt", error), nullptr);
  EXPECT_EQ(error, "cannot record to /proc/none/x.txt: No such file or directory");
  auto recorder = Recorder::Start("/dev/full", error);
  ASSERT_NE(recorder, nullptr) << error;
  const uint8_t note[3] = {0x90, 60, 100};
  for (int i = 0; i < 100; ++i) recorder->Delivered(i, note, 3);
  EXPECT_EQ(recorder->Stop(),
            "recording stopped early: No space left on device; 0 events in /dev/full");
}

}  // namespace
}  // namespace tessaly
