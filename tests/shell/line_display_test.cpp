// Control bytes of a line are made visible on screen; the bytes themselves stay.
#include <gtest/gtest.h>

#include "shell/line_display.h"
#include "shell/output_list_view.h"
#include "window_test_support.h"

namespace tessaly {
namespace {

using namespace tessaly::test;

TEST(LineDisplayTest, ControlBytesShowAsHexEscapes) {
  const struct {
    std::string_view bytes;
    const char* shown;  // UTF-8
  } cases[] = {
      {"plain text, blanks kept  ", "plain text, blanks kept  "},
      {"", ""},
      {std::string_view("cr\rlf\n", 6), "cr\\x0Dlf\\x0A"},
      {std::string_view("\x00\x01\x1f\x7f", 4), "\\x00\\x01\\x1F\\x7F"},
      {"tab\tstop", "tab\\x09stop"},
      {"\x80\x9f", "\\x80\\x9F"},
      {"caf\xe9 \xa0\xff", "caf\u00e9 \u00a0\u00ff"},
      {"back\\slash", "back\\slash"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.shown);
    const QString shown = DisplayText(Latin1(c.bytes));
    EXPECT_EQ(shown, QString::fromUtf8(c.shown));
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
