#include "shell/console_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tessaly {
namespace {

// The options of a command line that must be accepted (a refusal fails the test, with its why).
Options Accepted(const std::vector<std::string_view>& args) {
  const ParsedOptions parsed = ParseOptions(args);
  EXPECT_TRUE(parsed.ok) << parsed.error;
  return parsed.options;
}

// A command line and every field of the options it must give.
struct Accepts {
  std::vector<std::string_view> args;
  Options options;
};

void ExpectAccepted(const Accepts& c) {
  std::string line;
  for (std::string_view arg : c.args) line.append(arg).append(" ");
  SCOPED_TRACE(line);
  const Options options = Accepted(c.args);
  EXPECT_EQ(options.mode, c.options.mode);
  EXPECT_EQ(options.port, c.options.port);
  EXPECT_EQ(options.seconds, c.options.seconds);
  EXPECT_EQ(options.report, c.options.report);
  EXPECT_EQ(options.json, c.options.json);
  EXPECT_EQ(options.saveDir, c.options.saveDir);
  EXPECT_EQ(options.recordFile, c.options.recordFile);
  EXPECT_EQ(options.replayFile, c.options.replayFile);
  EXPECT_EQ(options.fast, c.options.fast);
  EXPECT_EQ(options.portGiven, c.options.portGiven);
}

constexpr RunMode kConsole = RunMode::kConsole;

TEST(ConsoleOptionsTest, GoodCommandLines) {
  const Accepts cases[] = {
      {{}, {}},
      {{"--seconds", "10", "--report"}, {.seconds = 10.0, .report = true}},
      {{"--port=5", "--seconds=0.5"}, {.port = 5, .seconds = 0.5, .portGiven = true}},
      {{"--report", "--console", "--port", "1"},
       {.mode = kConsole, .port = 1, .report = true, .portGiven = true}},
      {{"--console"}, {.mode = kConsole}},
      {{"--console", "--port", "3"}, {.mode = kConsole, .port = 3, .portGiven = true}},
      {{"--port=2", "--console", "--seconds", "1.5"},
       {.mode = kConsole, .port = 2, .seconds = 1.5, .portGiven = true}},
      {{"--console", "--seconds=0"}, {.mode = kConsole, .seconds = 0.0}},
      {{"--console", "--port", "4294967295"},
       {.mode = kConsole, .port = 4294967295u, .portGiven = true}},
      {{"--list-ports"}, {.mode = RunMode::kListPorts}},
      {{"--help"}, {.mode = RunMode::kHelp}},
      {{"--version"}, {.mode = RunMode::kVersion}},
      {{"--console", "--console"}, {.mode = kConsole}},
  };
  for (const Accepts& c : cases) ExpectAccepted(c);
}

// The replay's file, its pace, and whether --port chose the port instead of the file's.
TEST(ConsoleOptionsTest, ReplayOptions) {
  const Accepts cases[] = {
      {{"--console", "--replay", "x.txt"}, {.mode = kConsole, .replayFile = "x.txt"}},
      {{"--replay=a b.mid", "--fast"}, {.replayFile = "a b.mid", .fast = true}},
      {{"--console", "--fast", "--replay", "x.txt", "--port", "0"},
       {.mode = kConsole, .replayFile = "x.txt", .fast = true, .portGiven = true}},
      {{"--console", "--port", "2"}, {.mode = kConsole, .port = 2, .portGiven = true}},
  };
  for (const Accepts& c : cases) ExpectAccepted(c);
}

TEST(ConsoleOptionsTest, BadCommandLinesSayWhy) {
  struct Case {
    std::vector<std::string_view> args;
    std::string error;
  };
  const Case cases[] = {
      {{"--bogus"}, "unknown option: --bogus"},
      {{"-h"}, "unknown option: -h"},
      {{"console"}, "unknown option: console"},
      {{"--console", "--port"}, "--port needs a port number"},
      {{"--console", "--port", "-1"}, "bad port number: -1"},
      {{"--console", "--port", "1x"}, "bad port number: 1x"},
      {{"--console", "--port", "4294967296"}, "bad port number: 4294967296"},
      {{"--console", "--port="}, "bad port number: "},
      {{"--console", "--seconds"}, "--seconds needs a number of seconds"},
      {{"--console", "--seconds", "-2"}, "bad number of seconds: -2"},
      {{"--console", "--seconds", "inf"}, "bad number of seconds: inf"},
      {{"--console", "--seconds", "nan"}, "bad number of seconds: nan"},
      {{"--console", "--list-ports"}, "choose one of --console, --list-ports, --help, --version"},
      {{"--console=1"}, "--console takes no value"},
      {{"--report=1"}, "--report takes no value"},
      {{"--console", "--replay"}, "--replay needs a file"},
      {{"--console", "--replay="}, "--replay needs a file"},
      {{"--list-ports", "--replay", "x.txt"}, "--replay goes with the window or --console"},
      {{"--console", "--fast"}, "--fast goes with --replay"},
      {{"--console", "--replay", "x.txt", "--fast=1"}, "--fast takes no value"},
      {{"--list-ports", "--port", "1"},
       "--port, --seconds and --report go with the window or --console"},
      {{"--list-ports", "--seconds", "1"},
       "--port, --seconds and --report go with the window or --console"},
      {{"--version", "--report"}, "--port, --seconds and --report go with the window or --console"},
  };
  for (const Case& c : cases) {
    const ParsedOptions parsed = ParseOptions(c.args);
    EXPECT_FALSE(parsed.ok) << c.error;
    EXPECT_EQ(parsed.error, c.error);
  }
}

TEST(ConsoleOptionsTest, UsageAndVersion) {
  EXPECT_EQ(VersionText(), "tessaly 1.01\n");
  const std::string_view usage = UsageText();
  EXPECT_EQ(usage.rfind("usage: tessaly ", 0), 0u);
  EXPECT_NE(usage.find("tessaly --console [--port N] [--seconds S] [--report]\n"), usage.npos);
  EXPECT_NE(usage.find("usage: tessaly [--port N] [--seconds S] [--report]\n"), usage.npos);
  EXPECT_NE(usage.find("tessaly --list-ports "), usage.npos);
  EXPECT_EQ(usage.back(), '\n');
}

}  // namespace
}  // namespace tessaly
