// End-to-end: --record to an SMF and to a .syx while our sender plays into the monitor; the
// file, read back by the readers the replay uses, holds what was sent, and the stop line says
// how many events it holds and how many the format left out.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "capture/capture_file_formats.h"
#include "tests/e2e/child_process.h"
#include "tests/e2e/console_lines.h"
#include "tests/e2e/midi_system.h"
#include "tests/e2e/monitor_fixture.h"

namespace tessaly::e2e {
namespace {

using namespace std::chrono_literals;

// The bytes of every event read, one after the other, and whether times never went back.
class Collect : public CaptureLogSink {
 public:
  void Event(const CaptureEvent& event) override {
    ordered = ordered && event.ns >= last;
    last = event.ns;
    bytes.insert(bytes.end(), event.bytes.begin(), event.bytes.end());
    ++events;
  }
  void Problem(uint64_t at, std::string_view what) override {
    ADD_FAILURE() << "byte " << at << ": " << what;
  }
  Bytes bytes;
  uint64_t events = 0;
  int64_t last = 0;
  bool ordered = true;
};

TEST(RecordEndToEndTest, AnSmfAndASyxHoldWhatWasSent) {
  Bytes sysex = {0xF0, 0x09, 0x11};
  for (int i = 0; i < 5000; ++i) sysex.push_back(static_cast<uint8_t>('a' + i % 26));
  sysex.push_back(0xF7);
  const std::vector<Bytes> notes = {
      {0x90, 0x3C, 0x64}, {0xB3, 0x07, 0x64}, {0xF8}, {0xE6, 0x00, 0x40}};
  const std::vector<Bytes> sysexes = {{0xF0, 0x09, 0x12, 0xF7}, sysex};
  const Bytes last = {0x80, 0x3C, 0x40};
  struct Case {
    const char* ending;
    Bytes expected;
    size_t leftOut;       // besides the clock bytes, when the format leaves them out
    const char* format;   // as the stop line names it
    bool clocksRecorded;  // the clock bytes sent first are in the file
  };
  Bytes all;
  for (const auto& m : {notes[0], sysexes[0], notes[1], notes[2], sysexes[1], notes[3], last}) {
    all.insert(all.end(), m.begin(), m.end());
  }
  Bytes onlySysex;
  for (const Bytes& m : sysexes) onlySysex.insert(onlySysex.end(), m.begin(), m.end());
  const Case cases[] = {
      {".mid", all, 1, "SMF", true},  // the port
      {".syx", onlySysex, 6, ".syx", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ending);
    const std::string name = std::string("e2e-record-") + (c.ending + 1);
    ChildProcess sender(OnSystem({SenderBinary(), "--name", name}));
    ASSERT_TRUE(sender.WaitForLine("ready", 10s)) << sender.ErrorText();
    ChildProcess list(OnSystem({TESSALY_BINARY, "--list-ports"}));
    ASSERT_EQ(list.Wait(20s), 0) << list.ErrorText();
    const auto port = SenderPortIndex(list.Lines(), name);
    ASSERT_TRUE(port.has_value());
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("tessaly-e2e-record-" + std::to_string(getpid()) + c.ending))
                                 .string();
    ChildProcess monitor(
        OnSystem({TESSALY_BINARY, "--console", "--port", std::to_string(*port), "--record", path}));
    ASSERT_TRUE(monitor.WaitForLine(kStartLines.back(), 20s)) << monitor.ErrorText();
    // A new link may carry only some cycles later (later still on a busy machine): clock bytes
    // go first until one is shown. Each one shown was recorded too; they are counted below.
    ASSERT_TRUE(SendUntilShown(sender, monitor, "F8", kClockLine))
        << "no clock carried in ten tries";
    for (const auto& m : {notes[0], sysexes[0], notes[1], notes[2], sysexes[1], notes[3], last}) {
      sender.WriteLine("send " + Hex(m));
    }
    sender.WriteLine("sync");
    EXPECT_TRUE(sender.WaitForLine("synced", 10s));
    const auto shown = [](const std::string& line) {
      return line.find("403C80 Chan 01 NOTE_OFF") != std::string::npos;
    };
    EXPECT_TRUE(monitor.WaitForLine(shown, 10s)) << "the last message was never shown";
    monitor.Signal(SIGTERM);
    EXPECT_EQ(monitor.Wait(20s), 0) << monitor.ErrorText();
    // The clock bytes sent first: every clock line but the one among the messages.
    const auto clocks =
        static_cast<size_t>(std::ranges::count_if(monitor.Lines(), EndsWith(kClockLine))) - 1;

    std::ifstream in(path, std::ios::binary);
    const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::filesystem::remove(path);
    Collect read;
    auto reader = MakeCaptureFileReader(path);
    reader->Feed(file.data(), file.size(), read);
    reader->Finish(read);
    Bytes expected(c.clocksRecorded ? clocks : 0, 0xF8);
    expected.insert(expected.end(), c.expected.begin(), c.expected.end());
    EXPECT_EQ(Hex(read.bytes), Hex(expected));
    EXPECT_TRUE(read.ordered);
    // The events in the file: each one read back (a sysex message in pieces is one in a .syx).
    const std::string& error = monitor.ErrorText();
    const std::string head = "tessaly: recording stopped: ";
    const size_t at = error.find(head);
    ASSERT_NE(at, std::string::npos) << error;
    size_t digits = 0;
    const uint64_t events = std::stoull(error.substr(at + head.size()), &digits);
    const size_t leftOut = c.leftOut + (c.clocksRecorded ? 0 : clocks);
    EXPECT_EQ(error.substr(at + head.size() + digits), " events in " + path + "; " +
                                                           std::to_string(leftOut) +
                                                           " left out (not in " + c.format + ")\n");
    if (std::string(c.ending) == ".mid") {
      EXPECT_EQ(events, read.events);
    }
  }
}

}  // namespace
}  // namespace tessaly::e2e
