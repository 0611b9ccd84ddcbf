// End-to-end on the kernel's ALSA sequencer only (TESSALY_E2E_SYSTEM=alsa, in the emulated
// guest): what a sequencer carries that the other cases do not reach. Raw MIDI bytes through
// snd-virmidi, a port that comes and goes while the monitor runs, a sysex far longer than
// any queue, and a burst faster than any reader: each must be shown whole or its loss said.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <regex>
#include <string>
#include <string_view>

#include "tests/e2e/child_process.h"
#include "tests/e2e/console_lines.h"
#include "tests/e2e/midi_system.h"
#include "tests/e2e/monitor_fixture.h"

namespace tessaly::e2e {
namespace {

// A family text message: F0 09 11 text F7, in the senders' hex.
std::string TextSysex(const std::string& text) {
  return Hex(Family(0x11, Text(text)));
}

// The losses the monitor said, as message-box lines: each with the count it gives (0 where
// it gives none). Our JACK input's ring, the sysex queue, the ALSA input's overrun.
struct Losses {
  long lines = 0;
  long counted = 0;
  long systemLines = 0;  // of them, losses the MIDI system reported (the rest are the monitor's)
};
Losses LossesSaid(const Lines& lines) {
  static const std::regex kLoss(R"(^(msg|sysex)\t.*(OVERRUN|overrun|overflow|lost).*$)");
  static const std::regex kCount(R"((\d+) (events )?(lost|events))");
  Losses losses;
  for (const std::string& line : lines) {
    if (!std::regex_match(line, kLoss)) continue;
    ++losses.lines;
    if (line.find("ALSA input") != std::string::npos) ++losses.systemLines;
    std::smatch m;
    if (std::regex_search(line, m, kCount)) losses.counted += std::stol(m[1]);
  }
  return losses;
}

// The monitor's line for a sysex message longer than its store: the bytes it could not show.
constexpr std::string_view kNotShown = "sysex\tsysex message too long, bytes not shown: ";

// Lines that carry the text of family text messages, joined.
std::string SysexText(const Lines& lines) {
  std::string text;
  for (const std::string& line : lines) {
    if (line.rfind("sysex\t", 0) == 0 && line.rfind(kNotShown, 0) != 0) text += line.substr(6);
  }
  return text;
}

// The count of the too-long line, when there is one.
std::optional<size_t> BytesNotShown(const Lines& lines) {
  for (const std::string& line : lines) {
    if (line.rfind(kNotShown, 0) == 0) return std::stoul(line.substr(kNotShown.size()));
  }
  return std::nullopt;
}

class AlsaEndToEndTest : public MonitorTest {
 protected:
  void SetUp() override {
    ASSERT_EQ(SystemUnderTest(), MidiSystem::kAlsa) << "these cases are for ALSA only";
  }

  // Reads until the monitor has written nothing for `quiet` (at most `limit`).
  static void Settle(ChildProcess& monitor, Millis quiet, Millis limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    size_t seen = monitor.Lines().size();
    while (std::chrono::steady_clock::now() < end) {
      monitor.ReadFor(quiet);
      if (monitor.Lines().size() == seen) return;
      seen = monitor.Lines().size();
    }
  }
};

TEST_F(AlsaEndToEndTest, RawBytesWithRunningStatusThroughVirmidi) {
  // snd-virmidi: bytes written to its raw MIDI device come out of its sequencer port, parsed
  // by the kernel as a device's bytes would be: running status, a clock byte between the
  // bytes of a message, a sysex.
  std::string device;
  for (const auto& entry : std::filesystem::directory_iterator("/dev/snd")) {
    if (entry.path().filename().string().rfind("midiC", 0) == 0) device = entry.path();
  }
  ASSERT_FALSE(device.empty()) << "no raw MIDI device (snd-virmidi) in /dev/snd";
  auto monitor = Monitor(SenderPort("VirMIDI"));
  const unsigned char bytes[] = {0x90, 0x3C, 0x64, 0x3E, 0xF8, 0x64, 0x40, 0x00, 0xB0, 0x07,
                                 0x64, 0x0A, 0x40, 0xF0, 0x09, 0x11, 'r',  'a',  'w',  ' ',
                                 'b',  'y',  't',  'e',  's',  0xF7, 0x3E, 0x64};
  const int fd = open(device.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0) << device;
  EXPECT_EQ(write(fd, bytes, sizeof bytes), static_cast<ssize_t>(sizeof bytes));
  close(fd);
  // The last two bytes: data after a sysex, which ended the running status: never a note.
  EXPECT_TRUE(monitor->WaitForLine("sysex\traw bytes", 20s));
  monitor->ReadFor(1000ms);
  const Lines all = Untimed(Stop(*monitor));
  // Two lists: the order within each is the order of the bytes.
  const Lines expected = {
      kNote60,
      "midi\t Time.T- 0000F8          SYSEX DATA  bougus here",
      "midi\t Time.T- 643E90 Chan 01 NOTE_ON        # 062 ,Vel 100 , ",
      "midi\t Time.T- 004090 Chan 01 NOTE_ON        # 064 ,Vel 000 , ",
      "midi\t Time.T- 6407B0 Chan 01 CNTL_CHNG    # 007 ,value 100 ,",
      "midi\t Time.T- 400AB0 Chan 01 CNTL_CHNG    # 010 ,value 064 ,",
  };
  EXPECT_EQ(WithTag(all, "midi"), expected);
  EXPECT_EQ(WithTag(all, "sysex"), Lines{"sysex\traw bytes"});
}

TEST_F(AlsaEndToEndTest, APortThatComesAndGoesIsSeenWithoutARestart) {
  auto first = Sender("e2e-hotplug-a");
  auto monitor = Monitor(SenderPort("e2e-hotplug-a"));
  const Lines before = ListPorts();
  // A device comes while the monitor runs: the next port up is it, not what was there at the
  // monitor's start.
  auto second = Sender("e2e-hotplug-b");
  const Lines during = ListPorts();
  EXPECT_EQ(during.size(), before.size() + 1) << testing::PrintToString(during);
  ASSERT_EQ(SenderPortIndex(during, "e2e-hotplug-b"),
            std::optional<uint32_t>(*SenderPortIndex(during, "e2e-hotplug-a") + 1));
  // Up reaches the port that came.
  Step(*monitor, "up");
  Play(*second, *monitor, "90 3E 64", "# 062 ,Vel 100 , ");
  // It goes again: down reaches the first one, which is still there.
  Quit(*second);
  EXPECT_EQ(ListPorts(), before);
  Step(*monitor, "down");
  Play(*first, *monitor, "90 3C 64", "# 060 ,Vel 100 , ");
  const Lines all = Untimed(Stop(*monitor));
  EXPECT_EQ(WithTag(all, "midi"),
            (Lines{"midi\t Time.T- 643E90 Chan 01 NOTE_ON        # 062 ,Vel 100 , ", kNote60}));
  Quit(*first);
}

TEST_F(AlsaEndToEndTest, ASysexOf300000BytesIsShownWholeOrItsLossSaid) {
  // The sender writes it as the sequencer carries it: 256-byte SYSEX events, at full speed.
  const std::string text = Letters(300000 - 4);
  auto sender = Sender("e2e-long");
  auto monitor = Monitor(SenderPort("e2e-long"));
  sender->WriteLine("send " + TextSysex(text));
  sender->WriteLine("sync");
  ASSERT_TRUE(sender->WaitForLine("synced", 60s));
  Settle(*monitor, 2000ms, 120s);
  // What comes after it is shown: the monitor goes on.
  sender->WriteLine("send 90 3C 64");
  EXPECT_TRUE(monitor->WaitForLine(EndsWith("# 060 ,Vel 100 , "), 20s));
  const Lines all = Untimed(Stop(*monitor));
  const std::string shown = SysexText(all);
  const Losses losses = LossesSaid(all);
  const std::optional<size_t> notShown = BytesNotShown(all);
  std::printf(
      "300000-byte sysex: %zu text bytes shown of %zu, %zu counted as not shown, %ld loss "
      "lines\n",
      shown.size(), text.size(), notShown.value_or(0), losses.lines);
  if (losses.lines == 0) {
    // Nothing was lost on the way: the message came whole, its start is shown as far as the
    // monitor's store holds it, and the line after it counts every byte past that.
    ASSERT_TRUE(notShown.has_value())
        << "the sysex lost " << text.size() - std::min(text.size(), shown.size()) << " of "
        << text.size() << " bytes without a line";
    EXPECT_EQ(shown, text.substr(0, shown.size()));
    EXPECT_EQ(shown.size() + *notShown, text.size());
  } else {
    // What is shown is the message's own bytes, in order.
    EXPECT_NE(text.find(shown.substr(0, 1023)), std::string::npos);
  }
}

TEST_F(AlsaEndToEndTest, BurstOfNoteOnsAndASysexIsShownOrEveryLossSaid) {
  // 20 000 note-ons and a 1 002-byte sysex, as fast as the kernel takes them: far faster than
  // the monitor's input FIFO drains. Every event is shown, or its loss is counted in a line.
  constexpr long kNotes = 20000;
  const std::string text(998, 'B');
  auto sender = Sender("e2e-burst");
  auto monitor = Monitor(SenderPort("e2e-burst"), {"--report"});
  sender->WriteLine("flood " + std::to_string(kNotes + 1) + " 100000000 90 3C 64 / " +
                    std::to_string(kNotes + 1) + " " + TextSysex(text));
  const auto done =
      sender->WaitForLine([](const std::string& l) { return l.rfind("sent ", 0) == 0; }, 300s);
  ASSERT_TRUE(done) << sender->ErrorText();
  long sent = 0, refused = 0;
  ASSERT_EQ(std::sscanf(done->c_str(), "sent %ld dropped %ld", &sent, &refused), 2) << *done;
  ASSERT_EQ(sent, kNotes + 1);
  Settle(*monitor, 3000ms, 300s);
  sender->WriteLine("send 90 3E 64");
  EXPECT_TRUE(monitor->WaitForLine(EndsWith("# 062 ,Vel 100 , "), 20s)) << "the monitor stopped";
  const Lines all = Untimed(Stop(*monitor));

  long shownNotes = 0, shownSysex = 0;
  for (const std::string& line : all) {
    if (line == kNote60) ++shownNotes;
    if (line == "sysex\t" + text) ++shownSysex;
  }
  const Losses losses = LossesSaid(all);
  const long shown = shownNotes + shownSysex;
  std::string service;
  for (const std::string& line : all) {
    if (line.rfind("service\t", 0) == 0) service = line;
  }
  std::printf(
      "burst: sent %ld (kernel refused %ld at the sender), shown %ld (%ld note-ons, %ld sysex), "
      "reported lost %ld in %ld lines\n%s\n",
      sent, refused, shown, shownNotes, shownSysex, losses.counted, losses.lines, service.c_str());
  EXPECT_LE(shownNotes, kNotes);
  EXPECT_EQ(shown + losses.counted, sent) << "events lost without a count";
  if (shown < sent) {
    EXPECT_GT(losses.lines, 0) << sent - shown << " events lost without a line";
    // A loss below the monitor is in the service's report too; the monitor's own (its event
    // ring lapped while the drain fell behind) is in its line and the statistics.
    if (losses.systemLines > 0) {
      EXPECT_EQ(service.find("system loss reports 0 "), std::string::npos)
          << "the report says the system lost nothing beside its loss lines: " << service;
    }
  }
}

}  // namespace
}  // namespace tessaly::e2e
