// Control bytes of a line are made visible on screen; the bytes themselves stay.
#include <gtest/gtest.h>

#include "shell/console_escape.h"
#include "shell/line_display.h"
#include "shell/output_list_view.h"
#include "window_test_support.h"

namespace tessaly {
namespace {

using namespace tessaly::test;

// One rule for the console and the window: each case is checked against both.
TEST(LineDisplayTest, ConsoleAndWindowShowALineAlike) {
  const struct {
    std::string_view bytes;
    const char* shown;  // UTF-8
  } cases[] = {
      {"plain text, blanks kept  ", "plain text, blanks kept  "},
      {"", ""},
      {std::string_view("cr\rlf\n", 6), "cr\\x0Dlf\\x0A"},
      {std::string_view("\x00\x01\x1f\x7f", 4), "\\x00\\x01\\x1F\\x7F"},
      {"tab\tstop", "tab\\x09stop"},
      {"\x80\x9b\x9d\x9f", "\\x80\\x9B\\x9D\\x9F"},
      {"caf\xe9 \xa0\xff", "caf\u00e9 \u00a0\u00ff"},
      {"back\\slash", "back\\\\slash"},
      // What a device sent as the four characters \x0D is not a carriage return.
      {"\\x0D", "\\\\x0D"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shown);
    EXPECT_EQ(Escaped(c.bytes), c.shown) << "console";
    const QString shown = DisplayText(c.bytes);
    EXPECT_EQ(shown, QString::fromUtf8(c.shown)) << "window";
    EXPECT_EQ(DisplayLength(c.bytes), static_cast<size_t>(shown.size()));
  }
}

TEST(LineDisplayTest, TheViewShowsEscapesWhileTheListKeepsTheBytes) {
  OutputList list;
  list.AppendLine(std::string_view("a\rb", 3));
  OutputListView view(list);
  EXPECT_EQ(view.RowText(0), "a\\x0Db");
  EXPECT_EQ(view.WidestLine(), 6u);
  EXPECT_EQ(list.Line(0), std::string_view("a\rb", 3));
}

}  // namespace
}  // namespace tessaly
