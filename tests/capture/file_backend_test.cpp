// The file backend under the monitor, without a MIDI system: a capture log written by the test
// replayed through the service, the callback and the drain. What the round trip end to end
// does not reach: files that are wrong, recorded losses and drops, the file's own times in real
// time, and the cap on the lines a file can cause.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "capture/file_backend.h"
#include "capture/queued_input_service.h"
#include "display/monitor_core.h"

namespace tessaly {
namespace {

using Lines = std::vector<std::string>;

struct Row {
  const char* name;
  std::string file;  // its bytes; empty: no file at all; "folder": a folder
  bool fast;
  Lines midi;  // BasicMessageList, all of it
  Lines msg;   // MessageBoxList after the start lines, up to the end of the file (included)
  uint64_t messagesDropped = 0;
  uint64_t sysexBytesDropped = 0;
};

void PrintTo(const Row& row, std::ostream* out) {
  *out << row.name;
}

std::string Header() {
  return "tessaly capture log 1\n";
}

std::string BadLines(int n) {
  std::string text;
  for (int i = 0; i < n; ++i) text += "nonsense\n";
  return text;
}

Lines Numbered(int from, int n, const std::string& prefix, const std::string& what) {
  Lines lines;
  for (int i = 0; i < n; ++i) lines.push_back(prefix + "line " + std::to_string(from + i) + what);
  return lines;
}

Lines Joined(Lines a, const Lines& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class FileBackendTest : public ::testing::TestWithParam<Row> {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("tessaly-file-backend-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::filesystem::path dir_;
};

TEST_P(FileBackendTest, ReplaysTheFileAndSaysWhatIsWrongWhere) {
  const Row& row = GetParam();
  const std::string path = (dir_ / "capture.txt").string();
  if (row.file == "folder") {
    std::filesystem::create_directory(path);
  } else if (!row.file.empty()) {
    std::ofstream(path, std::ios::binary) << row.file;
  }
  std::vector<std::unique_ptr<PortBackend>> backends;
  auto files = std::make_unique<FileBackend>(row.fast);
  FileBackend& backend = *files;
  backend.SetFile(path);
  backends.push_back(std::move(files));
  QueuedInputService service(std::move(backends));
  MonitorCore core(service);
  core.ports().SelectPort(0);
  core.ports().ReopenPort();
  // Drained as the window's timer does, until the file has ended (a bound for a replay that
  // never ends, far beyond the file's own time).
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  bool ended = false;
  while (!ended && std::chrono::steady_clock::now() < deadline) {
    ended = backend.Ended();
    core.DrainAndDisplay();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_TRUE(ended);
  EXPECT_EQ(core.ports().portName(), "capture.txt");

  Lines midi;
  for (size_t i = 0; i < core.basicMessageList.Count(); ++i) {
    midi.emplace_back(core.basicMessageList.Line(i));
  }
  EXPECT_EQ(midi, row.midi);
  Lines msg;
  const std::string prefix = "replay " + path + ": ";
  for (size_t i = 4; i < core.messageBoxList.Count(); ++i) {
    std::string line(core.messageBoxList.Line(i));
    if (line.rfind(prefix, 0) == 0) line = "R: " + line.substr(prefix.size());
    msg.push_back(line);
  }
  EXPECT_EQ(msg, row.msg);
  core.Shutdown();
  const InputDelivery::Counts counts = service.TotalCounts();
  EXPECT_EQ(counts.messagesDropped, row.messagesDropped);
  EXPECT_EQ(counts.sysexBytesDropped, row.sysexBytesDropped);
  EXPECT_EQ(counts.gaveUp, 0u);
}

const std::string kNote = " Time.0..00:00:00.000- 643C90 Chan 01 NOTE_ON        # 060 ,Vel 100 , ";

INSTANTIATE_TEST_SUITE_P(
    Files, FileBackendTest,
    ::testing::Values(
        // Times from the file, in real time and fast: counted from the start of input (just after
        // the port's line) or else from the first message, however long the replay took; a
        // time that goes back stands as it is.
        Row{"TimesFromTheFileInRealTime",
            Header() + "4999999000 port P\n5000000000 data 90 3c 64\n6250000000 data 80 3c 40\n" +
                "5250000000 data 90 40 01\n",
            false,
            {kNote, " Time.0..00:00:01.250- 403C80 Chan 01 NOTE_OFF       # 060 ,Vel 064 ,",
             " Time.0..00:00:00.250- 014090 Chan 01 NOTE_ON        # 064 ,Vel 001 , "},
            {"R: recorded from port P", "R: end of the file, 4 events"}},
        Row{"TimesFromTheFileFast",
            Header() + "7000000000 data 90 3c 64\n7000001000 data b0 07 64\n" +
                "10661000000 data b0 07 00\n",
            true,
            {kNote, " Time.0..00:00:00.000- 6407B0 Chan 01 CNTL_CHNG    # 007 ,value 100 ,",
             " Time.0..00:00:03.661- 0007B0 Chan 01 CNTL_CHNG    # 007 ,value 000 ,"},
            {"R: end of the file, 3 events"}},
        // Each fault at its place among the events, and reading goes on after it.
        Row{"MalformedAndTruncated",
            Header() + "1000000000 data 90 3c 64\n1000000000 data 9\n# a note\n\n" +
                "1000000000 data 3c 40\n1000000000 blah 00\n1000000000 data 90 3e",
            true,
            {kNote},
            {"R: line 3: bad hex bytes",
             " Time.0..00:00:00.000- 00403C  BAD BAD BAD BAD MIDI ERROR #000",
             "R: line 7: unknown event kind",
             "R: line 8: last line has no newline (file cut short?)",
             " Time.0..00:00:00.000- 003E90  BAD BAD BAD BAD MIDI ERROR #001",
             "R: end of the file, 3 events"}},
        Row{"NotACaptureLog",
            "some other text\n1000 data 90 3c 64\n",
            true,
            {},
            {"R: line 1: not a tessaly capture log (no header line)",
             "R: end of the file, 0 events"}},
        Row{"NoFile", "", true, {}, {"R: cannot open: No such file or directory"}},
        // A file of garbage says so a hundred times, then counts the rest in one line.
        Row{"ManyFaults",
            Header() + BadLines(150),
            true,
            {},
            Joined(Numbered(2, 100, "R: ", ": no time in nanoseconds"),
                   {"R: 50 more lines not shown", "R: end of the file, 0 events"})},
        // Recorded losses show the live run's line; recorded drops count where the live run
        // counted them.
        Row{"LossesAndDrops",
            Header() + "1000000000 data 90 3c 64\n1000000000 loss jack-xrun -\n" +
                "1000000000 loss jack-lost-events 7\n1000000000 drop messages 3\n" +
                "1000000000 drop sysex-bytes 12\n",
            true,
            {kNote},
            // Shown in the order the drain shows losses of each kind, as in a live run.
            {"JACK input: the server lost events: 7",
             "JACK xrun: the server missed a cycle, input may be lost: 1 xrun",
             "R: end of the file, 5 events"},
            10,
            12},
        // A recorded cut (the sender went away) ends the open sysex there, as it did live: what
        // follows is not glued to it.
        Row{"SenderGoneCutsTheOpenSysex",
            Header() + "1000000000 data f0 09 11 41\n1000000000 cut\n1000000000 data 42 43 f7\n" +
                "1000000000 data 90 3c 64\n",
            true,
            {kNote},
            {" Time.0..00:00:00.000- 004342  BAD BAD BAD BAD MIDI ERROR #000",
             " Time.0..00:00:00.000- 643C90  SUSPECTED BAD Midi PACKET repeated below ",
             "R: end of the file, 4 events"}}),
    [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tessaly
