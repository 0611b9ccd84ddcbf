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

// A capture log's path in the temporary directory, this process's own.
std::string TempPath(const std::string& name) {
  return (std::filesystem::temp_directory_path() / (name + std::to_string(getpid()) + ".txt"))
      .string();
}

TEST(RecorderTest, WritesEveryEventInOrderThenSaysHowMany) {
  const std::string path = TempPath("tessaly-record-");
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

// Times go into the file exactly, however far each lies from the one before: on either side
// of the 2^31 ns that a record can carry as a distance, backwards, across a loss's line, and
// for every piece of a sysex longer than a record.
TEST(RecorderTest, EveryTimeIsWrittenExactly) {
  const std::string path = TempPath("tessaly-record-times-");
  std::string error;
  auto recorder = Recorder::Start(path, error);
  ASSERT_NE(recorder, nullptr) << error;
  constexpr int64_t kFar = int64_t{1} << 31;
  const int64_t times[] = {5,         5, 5 + kFar - 1, 5 - 1,    5 - 1 + kFar,   -kFar,
                           INT64_MAX, 1, -7,           kFar * 3, kFar * 3 - kFar};
  const uint8_t note[3] = {0x90, 0x3C, 0x64};
  std::vector<std::string> expected;
  for (const int64_t ns : times) {
    recorder->Delivered(ns, note, 3);
    expected.push_back(std::to_string(ns < 0 ? 0 : ns) + " data 90 3c 64");
  }
  CaptureEvent lost;
  lost.kind = CaptureKind::kDropMessages;
  lost.ns = 1000;
  lost.count = 2;
  recorder->Lost(lost);
  expected.push_back("1000 drop messages 2");
  recorder->Delivered(1001, note, 3);
  expected.push_back("1001 data 90 3c 64");
  std::vector<uint8_t> sysex(300000, 0x42);
  sysex.front() = 0xF0;
  sysex.back() = 0xF7;
  recorder->Delivered(kFar * 5, sysex.data(), sysex.size());
  recorder->Delivered(kFar * 5 + 1, note, 3);
  EXPECT_EQ(recorder->Stop(), "recording stopped: 16 events in " + path);
  std::istringstream in(ReadFile(path));
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  // Header, the notes, the loss and the note after it, two pieces of the sysex, the last note.
  ASSERT_EQ(lines.size(), 1 + expected.size() + 3);
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.begin() + 1 + expected.size()),
            expected);
  const std::string sysexTime = std::to_string(kFar * 5) + " data";
  std::string sysexText;
  for (size_t i = 1 + expected.size(); i < lines.size() - 1; ++i) {
    EXPECT_EQ(lines[i].substr(0, sysexTime.size()), sysexTime) << i;
    sysexText += lines[i].substr(sysexTime.size());
  }
  std::string sysexWanted = " f0";
  for (size_t i = 2; i < sysex.size(); ++i) sysexWanted += " 42";
  EXPECT_EQ(sysexText, sysexWanted + " f7");
  EXPECT_EQ(lines.back(), std::to_string(kFar * 5 + 1) + " data 90 3c 64");
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
