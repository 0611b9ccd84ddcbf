#include "shell/console_commands.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "capture/fake_midi_input_service.h"
#include "shell/console_frontend.h"

namespace tessaly {
namespace {

TEST(ConsoleCommandsTest, ParsesAWordPerLine) {
  struct Case {
    std::string line;
    bool any;
    ConsoleCommand command;
  };
  const Case cases[] = {
      {"up", true, ConsoleCommand::kUp},
      {"down", true, ConsoleCommand::kDown},
      {"  up\t", true, ConsoleCommand::kUp},
      {"down\r", true, ConsoleCommand::kDown},
      {"", false, ConsoleCommand::kUnknown},
      {" \t\r", false, ConsoleCommand::kUnknown},
      {"UP", true, ConsoleCommand::kUnknown},
      {"upp", true, ConsoleCommand::kUnknown},
      {"up down", true, ConsoleCommand::kUnknown},
      {std::string("up\0", 3), true, ConsoleCommand::kUnknown},
  };
  for (const Case& c : cases) {
    ConsoleCommand command = ConsoleCommand::kUnknown;
    EXPECT_EQ(ParseConsoleCommand(c.line, command), c.any) << c.line;
    if (c.any) {
      EXPECT_EQ(command, c.command) << c.line;
    }
  }
}

TEST(ConsoleCommandsTest, ReaderJoinsPiecesAndBoundsLongLines) {
  ConsoleCommandReader reader;
  std::vector<ConsoleCommand> seen;
  auto take = [&](ConsoleCommand command) { seen.push_back(command); };
  // A command split over reads; a line with no newline yet waits for it.
  reader.Feed("u", take);
  reader.Feed("p\ndo", take);
  EXPECT_EQ(seen, std::vector<ConsoleCommand>{ConsoleCommand::kUp});
  reader.Feed("wn\n\n", take);
  // A line past the bound is unknown even when it begins with a command, and the next line
  // is read afresh.
  reader.Feed("up" + std::string(ConsoleCommandReader::kMaxLine, ' ') + "\nup\n", take);
  // Exactly at the bound it is still read.
  reader.Feed(std::string(ConsoleCommandReader::kMaxLine - 4, ' ') + "down\n", take);
  const std::vector<ConsoleCommand> expected = {ConsoleCommand::kUp, ConsoleCommand::kDown,
                                                ConsoleCommand::kUnknown, ConsoleCommand::kUp,
                                                ConsoleCommand::kDown};
  EXPECT_EQ(seen, expected);
}

std::vector<std::string> LinesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(ConsoleCommandsTest, UpAndDownOnStandardInputStepThePorts) {
  FakeMidiInputService service;
  service.SetPorts({"first", "second", "third"});
  int commands[2];
  ASSERT_EQ(pipe(commands), 0);
  // Down at port 0 and Up at the last port do nothing; the unknown word is named on standard
  // error; the end of the input ends the commands, not the run.
  const std::string input = "down\nup\n  up \r\nbogus\nup\ndown\n";
  ASSERT_EQ(write(commands[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
  close(commands[1]);
  char* text = nullptr;
  size_t size = 0;
  std::FILE* out = open_memstream(&text, &size);
  ConsoleSettings settings;
  settings.seconds = 0.5;
  settings.commandFd = commands[0];
  EXPECT_EQ(RunConsole(service, settings, out), 0);
  std::fclose(out);
  close(commands[0]);
  const std::vector<std::string> lines = LinesOf(std::string(text, size));
  std::free(text);

  const std::string ok = "The specified command was carried out.";
  const std::vector<std::string> start = {
      "msg\tmidiInOpen            " + ok, "msg\tmidiInStart           " + ok,
      "msg\tmidiInPrepareHeader   " + ok, "msg\tmidiInAddBuffer       " + ok};
  const std::vector<std::string> shutdown = {"msg\tmidiInReset           " + ok,
                                             "msg\tmidiInStop            " + ok,
                                             "msg\tmidiInClose           " + ok};
  const std::string release = "msg\tsysex Unprepare header function " + ok;
  // Start on 0; up to 1, up to 2, down to 1, each step drained at once (the release of the
  // old port's buffer is shown by the drain, after the new port's lines); the shutdown.
  std::vector<std::string> expected = start;
  for (int step = 0; step < 3; ++step) {
    expected.insert(expected.end(), shutdown.begin(), shutdown.end());
    expected.insert(expected.end(), start.begin(), start.end());
    expected.push_back(release);
  }
  expected.insert(expected.end(), shutdown.begin(), shutdown.end());
  expected.push_back(release);
  ASSERT_EQ(lines.size(), expected.size() + 8);
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + expected.size()), expected);
  std::vector<std::string> opens;
  for (const std::string& call : service.CallLog()) {
    if (call.rfind("Open ", 0) == 0) opens.push_back(call);
  }
  EXPECT_EQ(opens, (std::vector<std::string>{"Open 0", "Open 1", "Open 2", "Open 1"}));
}

}  // namespace
}  // namespace tessaly
