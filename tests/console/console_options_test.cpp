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

TEST(ConsoleOptionsTest, GoodCommandLines) {
  struct Case {
    std::vector<std::string_view> args;
    RunMode mode;
    uint32_t port;
    std::optional<double> seconds;
    bool report = false;
  };
  const Case cases[] = {
      {{}, RunMode::kWindow, 0, std::nullopt},
      {{"--seconds", "10", "--report"}, RunMode::kWindow, 0, 10.0, true},
      {{"--port=5", "--seconds=0.5"}, RunMode::kWindow, 5, 0.5},
      {{"--report", "--console", "--port", "1"}, RunMode::kConsole, 1, std::nullopt, true},
      {{"--console"}, RunMode::kConsole, 0, std::nullopt},
      {{"--console", "--port", "3"}, RunMode::kConsole, 3, std::nullopt},
      {{"--port=2", "--console", "--seconds", "1.5"}, RunMode::kConsole, 2, 1.5},
      {{"--console", "--seconds=0"}, RunMode::kConsole, 0, 0.0},
      {{"--console", "--port", "4294967295"}, RunMode::kConsole, 4294967295u, std::nullopt},
      {{"--list-ports"}, RunMode::kListPorts, 0, std::nullopt},
      {{"--help"}, RunMode::kHelp, 0, std::nullopt},
      {{"--version"}, RunMode::kVersion, 0, std::nullopt},
      {{"--console", "--console"}, RunMode::kConsole, 0, std::nullopt},
  };
  for (const Case& c : cases) {
    const Options options = Accepted(c.args);
    EXPECT_EQ(options.mode, c.mode);
    EXPECT_EQ(options.port, c.port);
    EXPECT_EQ(options.seconds, c.seconds);
    EXPECT_EQ(options.report, c.report);
  }
}

// The replay's file, its pace, and whether --port chose the port instead of the file's.
TEST(ConsoleOptionsTest, ReplayOptions) {
  struct Case {
    std::vector<std::string_view> args;
    std::string file;
    bool fast;
    bool portGiven;
  };
  const Case cases[] = {
      {{"--console", "--replay", "x.txt"}, "x.txt", false, false},
      {{"--replay=a b.mid", "--fast"}, "a b.mid", true, false},
      {{"--console", "--fast", "--replay", "x.txt", "--port", "0"}, "x.txt", true, true},
      {{"--console", "--port", "2"}, "", false, true},
  };
  for (const Case& c : cases) {
    const Options options = Accepted(c.args);
    EXPECT_EQ(options.replayFile, c.file);
    EXPECT_EQ(options.fast, c.fast);
    EXPECT_EQ(options.portGiven, c.portGiven);
  }
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
