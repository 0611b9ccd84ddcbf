#include "shell/console_escape.h"

#include <gtest/gtest.h>

#include <string>

namespace tessaly {
namespace {

TEST(ConsoleEscapeTest, DeviceBytesNeverReachTheTerminalRaw) {
  struct Case {
    std::string line;
    std::string expected;
  };
  const Case cases[] = {
      {"good luck", "good luck"},
      {" !~", " !~"},
      {std::string("\0", 1), "\\x00"},
      {"\r\n\t\x1B[2J", "\\x0D\\x0A\\x09\\x1B[2J"},
      {"\x1F\x7F", "\\x1F\\x7F"},
      {"a\\b", "a\\\\b"},
      {"\\x41", "\\\\x41"},
      {"\x80\x9B\xA9", "\\x80\\x9B\xC2\xA9"},
      {"caf\xE9", "caf\xC3\xA9"},
      {"\xC0\xFF", "\xC3\x80\xC3\xBF"},
      {"Demo device ready\r", "Demo device ready\\x0D"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(Escaped(c.line), c.expected) << c.expected;
}

TEST(ConsoleEscapeTest, AppendsToWhatIsThere) {
  std::string out = "msg\t";
  AppendEscaped("x\ny", out);
  EXPECT_EQ(out, "msg\tx\\x0Ay");
}

}  // namespace
}  // namespace tessaly
