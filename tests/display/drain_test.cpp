#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "capture/fake_midi_input_service.h"
#include "capture/midi_constants.h"
#include "display/event_lines.h"
#include "display/monitor_core.h"
#include "tests/support/open_capture.h"

namespace tessaly {
namespace {

std::vector<std::string> Lines(const OutputList& list) {
  std::vector<std::string> lines;
  for (size_t i = 0; i < list.Count(); ++i) lines.emplace_back(list.Line(i));
  return lines;
}

const std::string kEmptyCells =
    " ____  ____  ____  ____  ____  ____  ____  ____  ____  ____  ____  ____  ____  ____  ____  "
    "____ ";

class DrainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    service.SetPorts({"port zero"});
    handle = testing::OpenAndQueue(service, core.capture());
  }

  void Note(uint8_t status, uint8_t key, uint8_t velocity, uint32_t ms) {
    ASSERT_TRUE(service.DeliverShort(PackShortMessage(status, key, velocity), ms));
  }

  struct Sent {
    uint8_t status, key, velocity;
    uint32_t ms;
  };
  // Sends the notes, drains once, and gives the message list's lines.
  std::vector<std::string> ShownAfter(std::initializer_list<Sent> notes) {
    for (const Sent& n : notes) Note(n.status, n.key, n.velocity, n.ms);
    core.DrainAndDisplay();
    return Lines(core.basicMessageList);
  }

  FakeMidiInputService service;
  MonitorCore core{service};
  MidiInHandle handle = 0;
};

TEST(EventLinesFormatTest, TimeStampPrefix) {
  struct Case {
    uint32_t ms;
    uint32_t message;
    const char* prefix;
  };
  const Case cases[] = {
      {3723004, 0x643C90, " Time.0..01:02:03.004- 643C90 "},
      {0, 0, " Time.0..00:00:00.000- 000000 "},
      {86399999, 0xF8, " Time.0..23:59:59.999- 0000F8 "},
      {86400000u * 10 + 1, 0x90, " Time.10..00:00:00.001- 000090 "},  // widens past 9 days
      {0xFFFFFFFF, 0xFFFFFFFF, " Time.49..17:02:47.295- FFFFFFFF "},
  };
  for (const Case& c : cases) {
    char out[kPrefixSize];
    const size_t n = EventLines::FormatTimeStampPrefix(out, c.ms, c.message);
    EXPECT_EQ(std::string(out, n), c.prefix) << c.ms;
  }
  char out[kPrefixSize];
  EXPECT_EQ(EventLines::FormatTimeStampPrefix(out, 3723004, 0x643C90), 30u);
}

TEST(EventLinesFormatTest, ChannelMessageTexts) {
  struct Case {
    uint32_t message;
    const char* text;
  };
  const Case cases[] = {
      {PackShortMessage(0x80, 60, 64), "Chan 01 NOTE_OFF       # 060 ,Vel 064 ,"},
      {PackShortMessage(0x90, 60, 100), "Chan 01 NOTE_ON        # 060 ,Vel 100 , "},
      {PackShortMessage(0xAF, 1, 2), "Chan 16 KEY_PRESS     # 001 ,value 002 ,"},
      {PackShortMessage(0xB3, 7, 127), "Chan 04 CNTL_CHNG    # 007 ,value 127 ,"},
      {PackShortMessage(0xC9, 5, 99), "Chan 10 PROG_CHNG   # 005 "},
      {PackShortMessage(0xD0, 77, 1), "Chan 01 CHN_PRESS    value 077 ,"},
      {PackShortMessage(0xE1, 0, 64), "Chan 02 PITCH_BEND   value 000,"},  // first byte only
      {PackShortMessage(0xF8), "         SYSEX DATA  bougus here"},
      {PackShortMessage(0x45, 1, 2), ""},  // no status: the prefix stands alone
      {0xFFFFFFFF, "         SYSEX DATA  bougus here"},
  };
  for (const Case& c : cases) {
    char out[kPrefixSize];
    const size_t n = EventLines::FormatChannelMessage(out, c.message);
    EXPECT_EQ(std::string(out, n), c.text) << std::hex << c.message;
  }
}

TEST_F(DrainTest, NoteOnLineAndStatisticsRow) {
  EXPECT_EQ(ShownAfter({{0x90, 60, 100, 3723004}, {0x90, 62, 90, 3723010}}),
            (std::vector<std::string>{
                " Time.0..01:02:03.004- 643C90 Chan 01 NOTE_ON        # 060 ,Vel 100 , ",
                " Time.0..01:02:03.010- 5A3E90 Chan 01 NOTE_ON        # 062 ,Vel 090 , ",
            }));
  ASSERT_EQ(core.statisticsList.Count(), 8u);
  EXPECT_EQ(core.statisticsList.Line(1), "CHN_NOTE_ON          0002 " + kEmptyCells.substr(6));
  EXPECT_EQ(core.statisticsList.Line(0), "CHN_NOTE_OFF       " + kEmptyCells);
  EXPECT_TRUE(core.messageBoxList.Count() == 0);
}

TEST_F(DrainTest, FirstDrainOnSilenceShowsAnEmptyTable) {
  // Only the open event is in the ring: it shows nothing, and the table is zeroed and drawn.
  core.DrainAndDisplay();
  EXPECT_EQ(core.basicMessageList.Count(), 0u);
  EXPECT_EQ(core.messageBoxList.Count(), 0u);
  EXPECT_EQ(core.sysexList.Count(), 0u);
  EXPECT_EQ(Lines(core.statisticsList), (std::vector<std::string>{
                                            "CHN_NOTE_OFF       " + kEmptyCells,
                                            "CHN_NOTE_ON         " + kEmptyCells,
                                            "CHN_KEY_PRESS     " + kEmptyCells,
                                            "CHN_CNTL_CHNG    " + kEmptyCells,
                                            "CHN_PROG_CHNG   " + kEmptyCells,
                                            "CHN_CHN_PRESS    " + kEmptyCells,
                                            "CHN_PITCH_BEND   " + kEmptyCells,
                                            "SYSEX DATA             " + kEmptyCells,
                                        }));
  // A later empty drain redraws nothing.
  core.statisticsList.Clear();
  core.DrainAndDisplay();
  EXPECT_EQ(core.statisticsList.Count(), 0u);
}

TEST_F(DrainTest, ErrorThenSuspectPacket) {
  Note(0x90, 1, 1, 1000);
  core.DrainAndDisplay();
  ASSERT_TRUE(service.DeliverError(0x00457F, 2000));
  Note(0x90, 60, 100, 2001);
  ASSERT_TRUE(service.DeliverError(0x000001, 2002));
  core.DrainAndDisplay();
  EXPECT_EQ(Lines(core.messageBoxList),
            (std::vector<std::string>{
                " Time.0..00:00:02.000- 00457F  BAD BAD BAD BAD MIDI ERROR #000",
                " Time.0..00:00:02.001- 643C90  SUSPECTED BAD Midi PACKET repeated below ",
                " Time.0..00:00:02.002- 000001  BAD BAD BAD BAD MIDI ERROR #001",
            }));
  EXPECT_EQ(Lines(core.basicMessageList),
            (std::vector<std::string>{
                " Time.0..00:00:01.000- 010190 Chan 01 NOTE_ON        # 001 ,Vel 001 , ",
                " Time.0..00:00:02.001- 643C90 Chan 01 NOTE_ON        # 060 ,Vel 100 , ",
            }));
  // The suspect note-on is not counted: only the first one is.
  EXPECT_EQ(core.capture().statusCounters.Get(0x90), 1u);
  // Numbering goes on after the list is cleared.
  core.ClearMessageWindow();
  ASSERT_TRUE(service.DeliverError(0x000002, 2003));
  core.DrainAndDisplay();
  EXPECT_EQ(
      Lines(core.messageBoxList),
      (std::vector<std::string>{" Time.0..00:00:02.003- 000002  BAD BAD BAD BAD MIDI ERROR #002"}));
}

TEST_F(DrainTest, FiltersHideButStillCount) {
  struct Case {
    FilterId filter;
    uint32_t hidden;
    uint32_t shown;
  };
  const Case cases[] = {
      {FilterId::kKeyOff, PackShortMessage(0x8F, 1, 2), PackShortMessage(0x90, 1, 2)},
      {FilterId::kKeyOn, PackShortMessage(0x93, 1, 2), PackShortMessage(0x83, 1, 2)},
      {FilterId::kVelocityZeroKeyOff, PackShortMessage(0x90, 60, 0), PackShortMessage(0x90, 60, 1)},
      {FilterId::kKeyPressure, PackShortMessage(0xA0, 1, 2), PackShortMessage(0xB0, 1, 2)},
      {FilterId::kControlChange, PackShortMessage(0xB5, 1, 2), PackShortMessage(0xC5, 1)},
      {FilterId::kProgramChange, PackShortMessage(0xC0, 1), PackShortMessage(0xD0, 1)},
      {FilterId::kChannelPressure, PackShortMessage(0xDA, 1), PackShortMessage(0xE0, 1, 2)},
      {FilterId::kPitchBend, PackShortMessage(0xE7, 1, 2), PackShortMessage(0xF8)},
  };
  for (const Case& c : cases) {
    core.ToggleFilter(c.filter);
    core.basicMessageList.Clear();
    const uint64_t before = core.capture().statusCounters.Get(c.hidden & 0xFF);
    ASSERT_TRUE(service.DeliverShort(c.hidden, 5));
    ASSERT_TRUE(service.DeliverShort(c.shown, 6));
    // System and data-only words are never hidden.
    ASSERT_TRUE(service.DeliverShort(PackShortMessage(0xFE), 7));
    ASSERT_TRUE(service.DeliverShort(PackShortMessage(0x10, 2, 3), 8));
    core.DrainAndDisplay();
    ASSERT_EQ(core.basicMessageList.Count(), 3u) << static_cast<int>(c.filter);
    char prefix[kPrefixSize];
    const size_t n = EventLines::FormatTimeStampPrefix(prefix, 6, c.shown);
    EXPECT_EQ(core.basicMessageList.Line(0).substr(0, n), std::string_view(prefix, n));
    EXPECT_EQ(core.basicMessageList.Line(2), " Time.0..00:00:00.008- 030210 ");
    const uint64_t shownToo = (c.shown & 0xFF) == (c.hidden & 0xFF) ? 1 : 0;
    EXPECT_EQ(core.capture().statusCounters.Get(c.hidden & 0xFF), before + 1 + shownToo);
    core.ToggleFilter(c.filter);
    EXPECT_EQ(core.filters().Flag(c.filter), 0u);
  }
}

TEST_F(DrainTest, VelocityZeroIsHiddenEvenWithKeyOnShown) {
  core.ToggleFilter(FilterId::kVelocityZeroKeyOff);
  EXPECT_EQ(ShownAfter({{0x90, 60, 0, 1}, {0x91, 61, 5, 2}}),
            (std::vector<std::string>{
                " Time.0..00:00:00.002- 053D91 Chan 02 NOTE_ON        # 061 ,Vel 005 , "}));
  EXPECT_EQ(core.capture().statusCounters.Get(0x90), 1u);
}

TEST_F(DrainTest, ClearMidiMessageWindowRestartsTheClock) {
  Note(0x90, 1, 1, 5000);
  core.DrainAndDisplay();
  core.ClearMidiMessageWindow();
  EXPECT_EQ(core.basicMessageList.Count(), 0u);
  EXPECT_EQ(ShownAfter({{0xB0, 7, 100, 7000}, {0xB0, 7, 101, 7250}}),
            (std::vector<std::string>{
                " Time.0..00:00:00.000- 6407B0 Chan 01 CNTL_CHNG    # 007 ,value 100 ,",
                " Time.0..00:00:00.250- 6507B0 Chan 01 CNTL_CHNG    # 007 ,value 101 ,",
            }));
}

TEST_F(DrainTest, ClockGoingBackShowsTheWrappedDifference) {
  core.DrainAndDisplay();  // takes the open event, which would otherwise become time zero
  core.ClearMidiMessageWindow();
  Note(0x90, 1, 1, 1000);  // becomes time zero
  Note(0x90, 1, 1, 999);   // one millisecond earlier: wraps
  core.DrainAndDisplay();
  ASSERT_EQ(core.basicMessageList.Count(), 2u);
  EXPECT_EQ(core.basicMessageList.Line(1).substr(0, 30), " Time.49..17:02:47.295- 010190");
}

TEST_F(DrainTest, LappedRingShowsTheNewestEventsOnceAndCountsTheLost) {
  core.DrainAndDisplay();  // zero the statistics first
  const uint32_t sent = kEventRingSize + 88;
  for (uint32_t i = 0; i < sent; ++i) {
    ASSERT_TRUE(service.DeliverShort(PackShortMessage(0x90, i & 0x7F, (i >> 7) & 0x7F), i));
  }
  core.DrainAndDisplay();
  ASSERT_EQ(core.basicMessageList.Count(), kEventRingSize);
  // The oldest 88 were overwritten; the rest come in arrival order, once each.
  for (uint32_t k = 0; k < kEventRingSize; ++k) {
    char prefix[kPrefixSize];
    const uint32_t i = k + 88;
    const size_t n = EventLines::FormatTimeStampPrefix(
        prefix, i, PackShortMessage(0x90, i & 0x7F, (i >> 7) & 0x7F));
    ASSERT_EQ(core.basicMessageList.Line(k).substr(0, n), std::string_view(prefix, n)) << k;
  }
  EXPECT_EQ(Lines(core.messageBoxList),
            (std::vector<std::string>{"EVENT RING OVERRUN 88 events lost"}));
  EXPECT_EQ(core.capture().statusCounters.Get(kCountEventsLost), 88u);
  EXPECT_EQ(core.capture().statusCounters.Get(0x90), kEventRingSize);
  // The statistics row shows the loss in the fifth cell of the last row.
  EXPECT_EQ(core.statisticsList.Line(7).substr(0, 23 + 5 * 6),
            "SYSEX DATA             " + std::string(" 0600 ") + " ____  ____  ____  0088 ");
  // Nothing is shown twice.
  core.DrainAndDisplay();
  EXPECT_EQ(core.basicMessageList.Count(), kEventRingSize);
  EXPECT_EQ(core.messageBoxList.Count(), 1u);
}

TEST_F(DrainTest, ReleasedBufferShowsTheUnprepareText) {
  core.capture().stopRequest.store(1);
  ASSERT_EQ(service.Reset(handle), kNoError);
  core.DrainAndDisplay();
  EXPECT_EQ(Lines(core.messageBoxList),
            (std::vector<std::string>{
                "sysex Unprepare header function The specified command was carried out."}));
  EXPECT_EQ(core.capture().stopRequest.load(), 0u);
  // A buffer merely queued again shows nothing.
  core.messageBoxList.Clear();
  ASSERT_EQ(service.PrepareHeader(handle, &core.capture().receiveHeader, kReceiveHeaderSize),
            kNoError);
  ASSERT_EQ(service.AddBuffer(handle, &core.capture().receiveHeader, kReceiveHeaderSize), kNoError);
  ASSERT_EQ(service.Reset(handle), kNoError);
  core.DrainAndDisplay();
  EXPECT_EQ(core.messageBoxList.Count(), 0u);
}

TEST_F(DrainTest, NewestLineIsMarkedWhenTheCountChanges) {
  core.DrainAndDisplay();
  EXPECT_EQ(core.statisticsList.Anchor(), 7);
  EXPECT_EQ(core.basicMessageList.Anchor(), -1);
  Note(0x90, 1, 1, 1);
  Note(0x90, 1, 1, 2);
  core.DrainAndDisplay();
  EXPECT_EQ(core.basicMessageList.Anchor(), 1);
  core.basicMessageList.SetAnchor(0);  // the user moved it; no change in count, no new mark
  core.DrainAndDisplay();
  EXPECT_EQ(core.basicMessageList.Anchor(), 0);
  core.ClearMidiMessageWindow();
  core.DrainAndDisplay();
  EXPECT_EQ(core.basicMessageList.Anchor(), -1);
  // The sysex list is never marked.
  EXPECT_EQ(core.sysexList.Anchor(), -1);
}

class CountingView : public MonitorView {
 public:
  void Refresh() override { ++refreshes; }
  int refreshes = 0;
};

TEST_F(DrainTest, EveryDrainRefreshesTheView) {
  CountingView view;
  core.SetView(&view);
  core.DrainAndDisplay();
  core.DrainAndDisplay();
  EXPECT_EQ(view.refreshes, 2);
}

// Losses the MIDI system reports reach the message box at the next drain, one line per kind
// with what grew since the drain before, after the events it did hand over.
TEST_F(DrainTest, SystemLossesBecomeLinesOncePerDrain) {
  struct Report {
    SystemLoss kind;
    uint64_t events;
    bool counted;
  };
  struct Case {
    std::vector<Report> reports;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {{}, {}},
      {{{SystemLoss::kAlsaOverrun, 1105, true}},
       {"ALSA input overrun: the kernel flushed the input FIFO, events lost: 1105"}},
      {{{SystemLoss::kAlsaOverrun, 0, false}},
       {"ALSA input overrun: the kernel flushed the input FIFO, events lost: count unknown"}},
      {{{SystemLoss::kAlsaOverrun, 200, true}, {SystemLoss::kAlsaOverrun, 0, false}},
       {"ALSA input overrun: the kernel flushed the input FIFO, events lost: 200 and more, count "
        "unknown (2 times)"}},
      {{{SystemLoss::kJackReadFailed, 3, true},
        {SystemLoss::kJackReadFailed, 4, true},
        {SystemLoss::kJackXrun, 0, false},
        {SystemLoss::kJackLostEvents, 9, true}},
       {"JACK input: a read failed, events lost: 7 (2 times)",
        "JACK input: the server lost events: 9",
        "JACK xrun: the server missed a cycle, input may be lost: 1 xrun"}},
      {{{SystemLoss::kJackXrun, 0, false}, {SystemLoss::kJackXrun, 0, false}},
       {"JACK xrun: the server missed a cycle, input may be lost: 2 xruns"}},
  };
  for (const Case& c : cases) {
    core.DrainAndDisplay();
    const size_t before = core.messageBoxList.Count();
    Note(0x90, 60, 100, 5);
    for (const Report& r : c.reports) service.losses.Report(r.kind, r.events, r.counted);
    core.DrainAndDisplay();
    const std::vector<std::string> all = Lines(core.messageBoxList);
    EXPECT_EQ(std::vector<std::string>(all.begin() + static_cast<long>(before), all.end()),
              c.lines);
    core.DrainAndDisplay();  // nothing new: no line
    EXPECT_EQ(core.messageBoxList.Count(), before + c.lines.size());
  }
}

}  // namespace
}  // namespace tessaly
