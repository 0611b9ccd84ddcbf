#include "shell/console_frontend.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "capture/fake_midi_input_service.h"
#include "capture/midi_constants.h"
#include "tests/console/playing_fake.h"

namespace tessaly {
namespace {

// Collects what a FILE* receives.
class Capture {
 public:
  Capture() : file_(open_memstream(&text_, &size_)) {}
  ~Capture() {
    if (file_ != nullptr) std::fclose(file_);
    std::free(text_);
  }
  std::FILE* file() { return file_; }
  std::vector<std::string> Lines() {
    std::fflush(file_);
    std::vector<std::string> lines;
    std::istringstream in(std::string(text_, size_));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

 private:
  char* text_ = nullptr;
  size_t size_ = 0;
  std::FILE* file_;
};

// A note, a text sysex with a tab, a backslash and a CR, a driver error and a note-off.
void PlayMixedInput(FakeMidiInputService& device) {
  device.DeliverShort(PackShortMessage(0x90, 60, 100), 1500);
  const std::vector<uint8_t> text = {0xF0, 0x09, 0x11, 't',  'a', 'b', '\t', 'h',  'e',
                                     'r',  'e',  ' ',  '\\', ' ', 'c', 'r',  '\r', 0xF7};
  device.SendSysex(text, 1550);
  device.DeliverError(0x00403C, 1600);
  device.DeliverShort(PackShortMessage(0x80, 60, 0), 1700);
}

std::string Row(const char* name, const std::string& firstCell = " ____ ") {
  std::string row = std::string("stats\t") + name + firstCell;
  for (int i = 1; i < 16; ++i) row += " ____ ";
  return row;
}

const std::vector<std::string> kStartLines = {
    "msg\tmidiInOpen            The specified command was carried out.",
    "msg\tmidiInStart           The specified command was carried out.",
    "msg\tmidiInPrepareHeader   The specified command was carried out.",
    "msg\tmidiInAddBuffer       The specified command was carried out.",
};
const std::vector<std::string> kShutdownLines = {
    "msg\tmidiInReset           The specified command was carried out.",
    "msg\tmidiInStop            The specified command was carried out.",
    "msg\tmidiInClose           The specified command was carried out.",
    "msg\tsysex Unprepare header function The specified command was carried out.",
};

std::vector<std::string> Joined(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST(ConsoleFrontendTest, WritesEveryLineTaggedEscapedAndInOrder) {
  test::PlayingFake service(PlayMixedInput);
  service.SetPorts({"fake in"});
  Capture out;
  bool tornDown = false;
  EXPECT_EQ(RunConsole(service, {0, 0.35}, out.file(), [&] { tornDown = true; }), 0);
  EXPECT_TRUE(tornDown);
  const std::vector<std::string> expected = Joined({
      kStartLines,
      {
          "sysex\ttab\\x09here \\\\ cr\\x0D",
          "midi\t Time.0..00:00:01.500- 643C90 Chan 01 NOTE_ON        # 060 ,Vel 100 , ",
          "msg\t Time.0..00:00:01.600- 00403C  BAD BAD BAD BAD MIDI ERROR #000",
          "msg\t Time.0..00:00:01.700- 003C80  SUSPECTED BAD Midi PACKET repeated below ",
          "midi\t Time.0..00:00:01.700- 003C80 Chan 01 NOTE_OFF       # 060 ,Vel 000 ,",
      },
      kShutdownLines,
      {
          Row("CHN_NOTE_OFF       "),
          Row("CHN_NOTE_ON         ", " 0001 "),
          Row("CHN_KEY_PRESS     "),
          Row("CHN_CNTL_CHNG    "),
          Row("CHN_PROG_CHNG   "),
          Row("CHN_CHN_PRESS    "),
          Row("CHN_PITCH_BEND   "),
          Row("SYSEX DATA             "),
      },
  });
  EXPECT_EQ(out.Lines(), expected);
  EXPECT_FALSE(service.IsOpen());
}

TEST(ConsoleFrontendTest, StartsOnTheChosenPort) {
  struct Case {
    uint32_t port;
    size_t shutdownLines;
    std::vector<std::string> firstLines;
  };
  const Case cases[] = {
      {1, 4, kStartLines},
      // Nothing opened: every call on the never-opened handle is refused, and the close
      // that fails is tried once more after a reset.
      {7,
       4,
       {
           "msg\tmidiInOpen            The device identifier is out of range.",
           "msg\tmidiInStart           The device handle is invalid.",
           "msg\tmidiInPrepareHeader   The device handle is invalid.",
           "msg\tmidiInAddBuffer       The device handle is invalid.",
       }},
  };
  for (const Case& c : cases) {
    FakeMidiInputService service;
    service.SetPorts({"first", "second"});
    Capture out;
    EXPECT_EQ(RunConsole(service, {c.port, 0.0}, out.file()), 0);
    std::vector<std::string> lines = out.Lines();
    ASSERT_EQ(lines.size(), 4u + c.shutdownLines + 8u) << c.port;
    lines.resize(4);
    EXPECT_EQ(lines, c.firstLines) << c.port;
    const std::vector<std::string> log = service.CallLog();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[2], "Open " + std::to_string(c.port) + (c.port == 1 ? "" : " -> 2"));
  }
}

TEST(ConsoleFrontendTest, StopSignalsEndTheRunCleanly) {
  BlockStopSignals();  // before the thread that sends, so the signal waits for the loop
  for (int signal : {SIGTERM, SIGINT}) {
    FakeMidiInputService service;
    service.SetPorts({"fake in"});
    Capture out;
    const pthread_t runner = pthread_self();
    std::thread sender([runner, signal] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      pthread_kill(runner, signal);
    });
    const auto start = std::chrono::steady_clock::now();
    const int code = RunConsole(service, {0, std::nullopt}, out.file());
    const auto ran = std::chrono::steady_clock::now() - start;
    sender.join();
    EXPECT_EQ(code, 0);
    EXPECT_LT(ran, std::chrono::seconds(10)) << signal;
    std::vector<std::string> lines = out.Lines();
    ASSERT_EQ(lines.size(), 4u + 4u + 8u) << signal;
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 4, lines.begin() + 8), kShutdownLines);
    EXPECT_FALSE(service.IsOpen());
  }
}

TEST(ConsoleFrontendTest, ListsPortsByIndexWithEscapedNames) {
  FakeMidiInputService service;
  // Names are UTF-8; a C1 control (CSI here) or a byte of no valid sequence reaches the
  // terminal only as an escape.
  service.SetPorts({"JACK: sender:out", "odd\x01name\\", "M\xC3\xBCller",
                    "csi\xC2\x9B"
                    "2J",
                    "raw\x9B"
                    "2J\xFF"});
  Capture out;
  EXPECT_EQ(ListPorts(service, out.file()), 0);
  const std::vector<std::string> expected = {"0\tJACK: sender:out", "1\todd\\x01name\\\\",
                                             "2\tM\xC3\xBCller", "3\tcsi\\xC2\\x9B2J",
                                             "4\traw\\x9B2J\\xFF"};
  EXPECT_EQ(out.Lines(), expected);
}

}  // namespace
}  // namespace tessaly
