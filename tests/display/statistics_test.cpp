#include <gtest/gtest.h>

#include <string>

#include "capture/fake_midi_input_service.h"
#include "capture/midi_constants.h"
#include "display/monitor_core.h"
#include "tests/support/open_capture.h"

namespace tessaly {
namespace {

std::string Cells(std::initializer_list<const char*> cells) {
  std::string row;
  for (const char* c : cells) row += c;
  return row;
}

class StatisticsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    service.SetPorts({"p"});
    handle = testing::OpenAndQueue(service, core.capture());
    core.DrainAndDisplay();  // first drain: zeroes the table
  }
  void Send(uint8_t status, int times) {
    for (int i = 0; i < times; ++i) ASSERT_TRUE(service.DeliverShort(PackShortMessage(status), 1));
  }

  FakeMidiInputService service;
  MonitorCore core{service};
  MidiInHandle handle = 0;
};

TEST_F(StatisticsTest, LastRowMixesSystemMessagesWithTheCallbacksOwnCounts) {
  Send(kClock, 3);       // ninth cell
  Send(kSongSelect, 1);  // shares the cell of released buffers
  core.capture().stopRequest.store(1);
  ASSERT_EQ(service.Reset(handle), kNoError);  // one buffer released
  core.DrainAndDisplay();
  // 0xF0 counts callbacks (3 + 1 + the returned buffer); 0xF3 the song select and the release.
  EXPECT_EQ(
      core.statisticsList.Line(7),
      "SYSEX DATA             " +
          Cells({" 0005 ", " ____ ", " ____ ", " 0002 ", " ____ ", " ____ ", " ____ ", " ____ ",
                 " 0003 ", " ____ ", " ____ ", " ____ ", " ____ ", " ____ ", " ____ ", " ____ "}));
}

TEST_F(StatisticsTest, LargeCountsWidenTheirCellsAndAreNeverCut) {
  for (uint8_t status = 0xF0; status != 0; ++status) {
    core.capture().statusCounters.Add(status, 1234567890123ull);
  }
  Send(0xE5, 1);  // something counted: the table is redrawn
  core.DrainAndDisplay();
  std::string expected = "SYSEX DATA             ";
  for (int i = 0; i < 16; ++i) {
    expected += i == 0 ? " 1234567890124 " : " 1234567890123 ";
  }
  EXPECT_EQ(core.statisticsList.Line(7), expected);
  EXPECT_EQ(core.statisticsList.Line(6),
            "CHN_PITCH_BEND   " + Cells({" ____ ", " ____ ", " ____ ", " ____ ", " ____ ", " 0001 ",
                                         " ____ ", " ____ ", " ____ ", " ____ ", " ____ ", " ____ ",
                                         " ____ ", " ____ ", " ____ ", " ____ "}));
}

TEST_F(StatisticsTest, ClearTakesEffectAtTheNextDrain) {
  Send(0x80, 2);
  core.DrainAndDisplay();
  const std::string before(core.statisticsList.Line(0));
  EXPECT_EQ(before.substr(0, 25), "CHN_NOTE_OFF        0002 ");
  core.ClearStatisticsWindow();
  EXPECT_EQ(core.statisticsList.Line(0), before);  // nothing visible at the click
  Send(0x81, 1);                                   // counted into the fresh table
  core.DrainAndDisplay();
  EXPECT_EQ(core.statisticsList.Line(0).substr(0, 31), "CHN_NOTE_OFF        ____  0001 ");
  EXPECT_EQ(core.statisticsList.Count(), 8u);
}

TEST_F(StatisticsTest, CallbackCountsAloneWaitForTheNextRedraw) {
  core.statisticsList.Clear();
  ASSERT_TRUE(service.Deliver(MIM_MOREDATA, 0, 0));  // counted by the callback only
  core.DrainAndDisplay();
  EXPECT_EQ(core.statisticsList.Count(), 0u);
  Send(0x90, 1);
  core.DrainAndDisplay();
  EXPECT_EQ(core.statisticsList.Line(7).substr(0, 29), "SYSEX DATA              0002 ");
}

}  // namespace
}  // namespace tessaly
