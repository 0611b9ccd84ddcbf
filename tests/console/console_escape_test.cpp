#include "shell/console_escape.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

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

// The rule byte by byte, as the console wrote lines before runs went in whole: the writer's
// output must not change by one byte.
std::string EscapedByteByByte(const std::string& line) {
  std::string out;
  for (const char c : line) {
    const auto byte = static_cast<uint8_t>(c);
    if (byte < 0x20 || byte == 0x7F || (byte >= 0x80 && byte <= 0x9F)) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      out += hex;
    } else if (byte == '\\') {
      out += "\\\\";
    } else if (byte >= 0x80) {
      out += static_cast<char>(0xC0 | (byte >> 6));
      out += static_cast<char>(0x80 | (byte & 0x3F));
    } else {
      out += c;
    }
  }
  return out;
}

TEST(ConsoleEscapeTest, EveryByteAnywhereInALineAsByteByByte) {
  std::vector<std::string> lines;
  for (int byte = 0; byte < 256; ++byte) {
    const std::string b(1, static_cast<char>(byte));
    // Alone, first, last, between runs, and twice running.
    for (const std::string& line : {b, b + "Chan 01", "Chan 01" + b, "# 060" + b + ",Vel", b + b}) {
      lines.push_back(line);
    }
  }
  // Each byte at each place of the first 17 (the writer takes plain bytes eight at a time).
  for (int byte = 0; byte < 256; ++byte) {
    for (size_t place = 0; place < 17; ++place) {
      std::string line(20, 'a');
      line[place] = static_cast<char>(byte);
      lines.push_back(line);
    }
  }
  std::mt19937 random(12);
  for (int i = 0; i < 2000; ++i) {
    std::string line(random() % 80, ' ');
    for (char& c : line)
      c = static_cast<char>(random() % 4 == 0 ? random() % 256 : 'a' + random() % 26);
    lines.push_back(line);
  }
  for (const std::string& line : lines) {
    std::string out = "midi\t";
    AppendEscaped(line, out);
    ASSERT_EQ(out, "midi\t" + EscapedByteByByte(line)) << ::testing::PrintToString(line);
  }
}

TEST(ConsoleEscapeTest, AppendsToWhatIsThere) {
  std::string out = "msg\t";
  AppendEscaped("x\ny", out);
  EXPECT_EQ(out, "msg\tx\\x0Ay");
}

}  // namespace
}  // namespace tessaly
