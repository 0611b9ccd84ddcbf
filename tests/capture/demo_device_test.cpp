#include "capture/demo_device.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "capture/midi_constants.h"
#include "capture/queued_input_service.h"
#include "display/monitor_core.h"

namespace tessaly {
namespace {

std::vector<std::string> Lines(const OutputList& list, size_t from = 0) {
  std::vector<std::string> lines;
  for (size_t i = from; i < list.Count(); ++i) lines.emplace_back(list.Line(i));
  return lines;
}

// An event line without its time: the message word and what follows.
std::string AfterPrefix(std::string_view line) {
  const size_t dash = line.find("- ");
  return std::string(dash == line.npos ? line : line.substr(dash + 2));
}

TEST(DemoDeviceTest, OneCycleShowsEveryKindOfLine) {
  std::vector<std::unique_ptr<PortBackend>> backends;
  backends.push_back(std::make_unique<DemoBackend>(0.05));  // twenty times the readable pace
  QueuedInputService service(std::move(backends));
  MonitorCore core(service);
  core.Start();
  // Until the last sysex line of the first cycle is in, or ten seconds.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  // The cycle ends with its last text line and then one control change (28 event lines).
  auto cycleDone = [&] {
    for (size_t i = 0; i < core.sysexList.Count(); ++i) {
      if (core.sysexList.Line(i) == "scan complete\r") return core.basicMessageList.Count() >= 28;
    }
    return false;
  };
  while (!cycleDone() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    core.DrainAndDisplay();
  }
  core.Shutdown();
  core.DrainAndDisplay();

  const std::vector<std::string> sysex = {
      "Demo device ready\r",
      "firmware 1.01, 16 sensors, eeprom 4k",
      "Scan Dump",
      " 0B 30 55 7A 9F C4 E9 0E 33 58 7D A2 C7 EC 11 36",
      " 5B 80 A5 CA EF 14 39 5E 83 A8 CD F2 17 3C 61 86",
      "EEPROM PEEK request length 0010 ",
      "EEPROM PEEK Acknowledge address 00120 length 0010",
      " A0 A1 A2 A3 A4 A5 A6 A7 A8 A9 AA AB AC AD AE AF",
      "",
      "43  parameter#: 005 value 127 gain",
      "44 parameter#: 012 value: 300 threshold",
      "EEPROM POKE Request address 00124 length 0004  5 1f 80 ff",
      "EEPROM POKE Acknowledge length 0004",
      "ascii 8 bit one char per command",
      "ascii 8 bit string",
      "eeprom echo test no argument",
      "eeprom dump no argument",
      "45 ACCESS XTABLE Request Ignored ",
      "unimplemented or undefined kelvardt/brantle sysex number f00914",
      "unimplemented or undefined kelvardt/brantle sysex number f07e7f",
      "scan complete\r",
  };
  std::vector<std::string> shownSysex = Lines(core.sysexList);
  ASSERT_GE(shownSysex.size(), sysex.size());
  shownSysex.resize(sysex.size());
  EXPECT_EQ(shownSysex, sysex);

  // The channel messages of every kind and the system messages, in order, without times.
  const std::vector<std::string> midi = {
      "0005C0 Chan 01 PROG_CHNG   # 005 ",
      "6407B0 Chan 01 CNTL_CHNG    # 007 ,value 100 ,",
      "643C90 Chan 01 NOTE_ON        # 060 ,Vel 100 , ",
      "403C80 Chan 01 NOTE_OFF       # 060 ,Vel 064 ,",
      "5A4090 Chan 01 NOTE_ON        # 064 ,Vel 090 , ",
      "004090 Chan 01 NOTE_ON        # 064 ,Vel 000 , ",
      "504390 Chan 01 NOTE_ON        # 067 ,Vel 080 , ",
      "404380 Chan 01 NOTE_OFF       # 067 ,Vel 064 ,",
      "2843A0 Chan 01 KEY_PRESS     # 067 ,value 040 ,",
      "0032D0 Chan 01 CHN_PRESS    value 050 ,",
      "4000E0 Chan 01 PITCH_BEND   value 000,",
      "5000E0 Chan 01 PITCH_BEND   value 000,",
      "6000E0 Chan 01 PITCH_BEND   value 000,",
      "5000E0 Chan 01 PITCH_BEND   value 000,",
      "4000E0 Chan 01 PITCH_BEND   value 000,",
      "4001B1 Chan 02 CNTL_CHNG    # 001 ,value 064 ,",
      "000CC1 Chan 02 PROG_CHNG   # 012 ",
      "463091 Chan 02 NOTE_ON        # 048 ,Vel 070 , ",
      "403081 Chan 02 NOTE_OFF       # 048 ,Vel 064 ,",
      "0010F2          SYSEX DATA  bougus here",
      "0000FA          SYSEX DATA  bougus here",
      "0000F8          SYSEX DATA  bougus here",
      "0000F8          SYSEX DATA  bougus here",
      "0000F8          SYSEX DATA  bougus here",
      "0000FC          SYSEX DATA  bougus here",
      "644890 Chan 01 NOTE_ON        # 072 ,Vel 100 , ",
      "404880 Chan 01 NOTE_OFF       # 072 ,Vel 064 ,",
      "007BB0 Chan 01 CNTL_CHNG    # 123 ,value 000 ,",
  };
  std::vector<std::string> shownMidi;
  for (const std::string& line : Lines(core.basicMessageList)) {
    EXPECT_EQ(line.rfind(" Time.0..00:00:", 0), 0u) << line;
    shownMidi.push_back(AfterPrefix(line));
  }
  ASSERT_GE(shownMidi.size(), midi.size());
  shownMidi.resize(midi.size());
  EXPECT_EQ(shownMidi, midi);

  // The malformed messages: a data byte without status, a note-on cut short; each flags the
  // message after it.
  std::vector<std::string> flagged;
  for (const std::string& line : Lines(core.messageBoxList, 4)) {
    if (line.rfind(" Time.", 0) == 0) flagged.push_back(AfterPrefix(line));
  }
  const std::vector<std::string> expectedFlags = {
      "00403C  BAD BAD BAD BAD MIDI ERROR #000",
      "5A4090  SUSPECTED BAD Midi PACKET repeated below ",
      "004890  BAD BAD BAD BAD MIDI ERROR #001",
      "644890  SUSPECTED BAD Midi PACKET repeated below ",
  };
  ASSERT_GE(flagged.size(), expectedFlags.size());
  flagged.resize(expectedFlags.size());
  EXPECT_EQ(flagged, expectedFlags);
}

TEST(DemoDeviceTest, CycleIsWellFormedAndReadable) {
  uint32_t totalMs = 0;
  for (const DemoStep& step : DemoCycle()) {
    totalMs += step.delayMs;
    EXPECT_GE(step.delayMs, 25u) << "paced for a reader";
    ASSERT_FALSE(step.bytes.empty());
    if (step.bytes.front() == kSysexStart) {
      EXPECT_EQ(step.bytes.back(), kSysexEnd);
      for (size_t i = 1; i + 1 < step.bytes.size(); ++i) EXPECT_LT(step.bytes[i], 0x80);
    }
  }
  EXPECT_GT(totalMs, 5000u);
  EXPECT_LT(totalMs, 30000u);
}

}  // namespace
}  // namespace tessaly
