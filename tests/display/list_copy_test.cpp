#include "display/list_copy.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tessaly {
namespace {

struct CopyCase {
  const char* name;
  std::vector<std::string> lines;
  std::string expected;
};

TEST(ListCopyTest, NumberedLinesExactly) {
  const std::vector<CopyCase> cases = {
      {"empty list", {}, ""},
      {"two lines",
       {"good luck", "the input port can be changed"},
       "item   0: good luck\r\nitem   1: the input port can be changed\r\n"},
      {"empty line still numbered",
       {"a", "b", "c", "d", "e", "", "g"},
       "item   0: a\r\nitem   1: b\r\nitem   2: c\r\nitem   3: d\r\nitem   4: e\r\n"
       "item   5: \r\nitem   6: g\r\n"},
      {"blanks inside and at the end kept",
       {"midiInStart           The specified command was carried out.",
        "CHN_NOTE_ON          0002  ____ ", "  lead  "},
       "item   0: midiInStart           The specified command was carried out.\r\n"
       "item   1: CHN_NOTE_ON          0002  ____ \r\n"
       "item   2:   lead  \r\n"},
      {"device bytes unchanged",
       {std::string("cr\rlf\nx\x01\xe9\xff", 11)},
       std::string("item   0: cr\rlf\nx\x01\xe9\xff\r\n", 22)},
  };
  for (const CopyCase& c : cases) {
    SCOPED_TRACE(c.name);
    OutputList list;
    for (const std::string& line : c.lines) list.AppendLine(line);
    const std::string text = CopyListText(list);
    EXPECT_EQ(text, c.expected);
    EXPECT_EQ(CopyListTextSize(list), c.expected.size());
  }
}

TEST(ListCopyTest, NumbersWidenPastFourDigits) {
  OutputList list;
  for (int i = 0; i < 100001; ++i) list.AppendLine(i % 2 == 0 ? "even" : "odd");
  const std::string text = CopyListText(list);
  EXPECT_EQ(text.substr(0, 31), "item   0: even\r\nitem   1: odd\r\n");
  EXPECT_NE(text.find("\r\nitem 999: odd\r\nitem1000: even\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nitem9999: odd\r\nitem10000: even\r\n"), std::string::npos);
  const std::string tail = "item99999: odd\r\nitem100000: even\r\n";
  ASSERT_GE(text.size(), tail.size());
  EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
  EXPECT_EQ(text.size(), CopyListTextSize(list));
}

TEST(ListCopyTest, LongLinesAreNeverCut) {
  // Longer than any fixed line buffer a copy might pass lines through.
  const std::vector<size_t> lengths = {2037, 2038, 2039, 4096, 70000};
  OutputList list;
  for (size_t length : lengths) list.AppendLine(std::string(length, 'x'));
  const std::string text = CopyListText(list);
  std::string expected;
  for (size_t i = 0; i < lengths.size(); ++i) {
    expected += "item   " + std::to_string(i) + ": " + std::string(lengths[i], 'x') + "\r\n";
  }
  EXPECT_EQ(text, expected);
}

TEST(ListCopyTest, CopiesWhatIsLeftAfterClear) {
  OutputList list;
  list.AppendLine("gone");
  list.Clear();
  EXPECT_EQ(CopyListText(list), "");
  list.AppendLine("new");
  EXPECT_EQ(CopyListText(list), "item   0: new\r\n");
}

}  // namespace
}  // namespace tessaly
