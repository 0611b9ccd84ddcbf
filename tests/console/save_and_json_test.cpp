// --save and --json: the options, the JSON text of a line, and a console run that writes both.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "capture/fake_midi_input_service.h"
#include "capture/midi_constants.h"
#include "display/list_copy.h"
#include "display/monitor_core.h"
#include "shell/console_frontend.h"
#include "shell/console_options.h"
#include "shell/json_lines.h"
#include "shell/save_lists.h"
#include "tests/console/playing_fake.h"
#include "tests/support/file_text.h"

namespace tessaly {
namespace {

TEST(SaveAndJsonTest, Options) {
  struct Case {
    std::vector<std::string_view> args;
    bool ok;
    bool json;
    std::string saveDir;
    std::string error;
  };
  const Case cases[] = {
      {{"--console", "--json"}, true, true, "", ""},
      {{"--console", "--save", "out"}, true, false, "out", ""},
      {{"--save=a b", "--json", "--console"}, true, true, "a b", ""},
      {{"--console", "--save"}, false, false, "", "--save needs a folder"},
      {{"--console", "--save="}, false, false, "", "--save needs a folder"},
      {{"--console", "--json=1"}, false, false, "", "--json takes no value"},
      {{"--json"}, false, false, "", "--json and --save go with --console"},
      {{"--save", "d"}, false, false, "", "--json and --save go with --console"},
      {{"--list-ports", "--record", "f"},
       false,
       false,
       "",
       "--record goes with the window or --console"},
      {{"--console", "--record"}, false, false, "", "--record needs a file"},
  };
  for (const Case& c : cases) {
    const ParsedOptions parsed = ParseOptions(c.args);
    EXPECT_EQ(parsed.ok, c.ok) << c.args[0];
    EXPECT_EQ(parsed.error, c.error);
    if (!c.ok) continue;
    EXPECT_EQ(parsed.options.json, c.json);
    EXPECT_EQ(parsed.options.saveDir, c.saveDir);
  }
}

// Every byte kept, the text valid UTF-8 and valid JSON.
TEST(SaveAndJsonTest, JsonStringKeepsEveryByte) {
  struct Case {
    std::string line;
    std::string json;
  };
  const Case cases[] = {
      {"plain text", R"("plain text")"},
      {"q\"b\\s/", R"("q\"b\\s/")"},
      {std::string("\x00\x01\t\n\r\x1F\x7F", 7), R"("\u0000\u0001\u0009\u000a\u000d\u001f\u007f")"},
      {"\x80\xA0\xE9\xFF", "\"\xC2\x80\xC2\xA0\xC3\xA9\xC3\xBF\""},
      {"", R"("")"},
  };
  for (const Case& c : cases) {
    std::string out;
    AppendJsonString(c.line, out);
    EXPECT_EQ(out, c.json);
  }
  std::string line;
  AppendJsonLine("midi", "x", line);
  EXPECT_EQ(line, "{\"list\":\"midi\",\"line\":\"x\"}\n");
}

// One note and a text sysex with a high byte.
void PlayNoteAndText(FakeMidiInputService& device) {
  device.DeliverShort(PackShortMessage(0x90, 60, 100), 1500);
  device.SendSysex({0xF0, 0x09, 0x11, 'a', 0x7E, '"', 0xF7}, 1550);
}

TEST(SaveAndJsonTest, ConsoleRunWritesJsonLinesAndSavesTheLists) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("tessaly-save-" + std::to_string(getpid()));
  std::filesystem::remove_all(dir);
  test::PlayingFake service(PlayNoteAndText);
  service.SetPorts({"fake in"});
  char* text = nullptr;
  size_t size = 0;
  std::FILE* out = open_memstream(&text, &size);
  ConsoleSettings settings{0, 0.35};
  settings.json = true;
  settings.saveDir = dir.string();
  // What the lists held, taken from a second run's core would differ in time; the saved files
  // are checked against the lines the run itself wrote.
  EXPECT_EQ(RunConsole(service, settings, out), 0);
  std::fclose(out);
  std::vector<std::string> lines;
  std::istringstream in(std::string(text, size));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::free(text);

  ASSERT_EQ(lines.size(), 4u + 2u + 4u + 8u);
  EXPECT_EQ(
      lines[0],
      R"({"list":"msg","line":"midiInOpen            The specified command was carried out."})");
  EXPECT_EQ(lines[4], "{\"list\":\"sysex\",\"line\":\"a~\\\"\"}");
  EXPECT_EQ(
      lines[5],
      R"({"list":"midi","line":" Time.0..00:00:01.500- 643C90 Chan 01 NOTE_ON        # 060 ,Vel 100 , "})");
  EXPECT_EQ(lines.back().rfind(R"({"list":"stats","line":"SYSEX DATA )", 0), 0u) << lines.back();

  // Each file is the clipboard text of its list: rebuild the lists from the run's lines.
  struct Saved {
    const char* file;
    std::string tag;
  };
  const Saved saved[] = {{"MessageBoxList.txt", "msg"},
                         {"BasicMessageList.txt", "midi"},
                         {"StatisticsList.txt", "stats"},
                         {"SysexList.txt", "sysex"}};
  for (const Saved& s : saved) {
    OutputList list;
    for (const std::string& line : lines) {
      const std::string prefix = "{\"list\":\"" + s.tag + "\",\"line\":\"";
      if (line.rfind(prefix, 0) != 0) continue;
      std::string body = line.substr(prefix.size(), line.size() - prefix.size() - 2);
      // The lines of this run have no escapes but the one quote of the sysex text.
      for (size_t at; (at = body.find("\\\"")) != std::string::npos;) body.erase(at, 1);
      list.AppendLine(body);
    }
    EXPECT_EQ(testing::ReadFileText(dir / s.file), CopyListText(list)) << s.file;
    EXPECT_GT(list.Count(), 0u) << s.file;
  }
  std::filesystem::remove_all(dir);
}

TEST(SaveAndJsonTest, UnwritableFolderSaysWhyAndFails) {
  FakeMidiInputService service;
  service.SetPorts({"fake in"});
  MonitorCore core(service);
  const SaveListsResult result = SaveLists(core, "/proc/no-such-folder/lists");
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.message,
            "lists not saved: /proc/no-such-folder/lists: No such file or directory");
  EXPECT_EQ(ReportSavedLists(result), 1);
}

}  // namespace
}  // namespace tessaly
