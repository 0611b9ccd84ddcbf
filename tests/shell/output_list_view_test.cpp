// The list view over a line store: rows taken up at Sync, Latin-1 text, following the newest
// line, painting only what changed, single selection.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <cmath>

#include "shell/output_list_view.h"
#include "tests/support/paint_counter.h"
#include "window_test_support.h"

namespace tessaly {
namespace {

using namespace tessaly::test;

std::vector<QString> Rows(const OutputListView& view) {
  std::vector<QString> rows;
  for (int row = 0; row < view.RowCount(); ++row) rows.push_back(view.RowText(row));
  return rows;
}

TEST(OutputListViewRowsTest, RowsAppearAtSyncAndAClearIsTakenUpWithItsRefill) {
  OutputList list;
  OutputListView view(list);
  for (int i = 0; i < 50; ++i) list.AppendLine("line " + std::to_string(i));
  EXPECT_EQ(view.RowCount(), 0) << "rows appear at the sync, not before";
  view.Sync();
  EXPECT_EQ(view.RowCount(), 50);
  EXPECT_EQ(view.RowText(0), "line 0");
  EXPECT_EQ(view.RowText(49), "line 49");
  EXPECT_EQ(view.RowText(50), "") << "past the last row";

  for (const char* line : {"a", "b", "c"}) list.AppendLine(line);
  view.Sync();
  EXPECT_EQ(view.RowCount(), 53);
  EXPECT_EQ(view.RowText(52), "c");

  // Cleared and refilled between two syncs, as the statistics table is at every redraw.
  list.Clear();
  list.AppendLine("x");
  list.AppendLine("y");
  // Until the sync the rows show what the list holds now: no row of a line it has is empty,
  // and no row past its end reads a line.
  EXPECT_EQ(view.RowText(0), "x");
  EXPECT_EQ(view.RowText(1), "y");
  EXPECT_EQ(view.RowText(2), "");
  view.Sync();
  EXPECT_THAT(Rows(view), ::testing::ElementsAre("x", "y"));

  // Cleared and refilled with more than before.
  list.Clear();
  for (const char* line : {"p", "q", "r"}) list.AppendLine(line);
  view.Sync();
  EXPECT_THAT(Rows(view), ::testing::ElementsAre("p", "q", "r"));

  list.Clear();
  view.Sync();
  EXPECT_EQ(view.RowCount(), 0);
}

TEST(OutputListViewRowsTest, BytesShowAsLatin1AndTheWidestLineIsKnown) {
  OutputList list;
  list.AppendLine(std::string_view("caf\xe9\r\x01\xff", 7));
  list.AppendLine("  blanks kept  ");
  OutputListView view(list);
  EXPECT_EQ(view.RowText(0), QString::fromUtf8("caf\u00e9\\x0D\\x01\u00ff"));
  EXPECT_EQ(view.RowText(1), "  blanks kept  ");
  EXPECT_EQ(view.WidestLine(), 15u);
  list.AppendLine(std::string(300, 'w'));
  view.Sync();
  EXPECT_EQ(view.WidestLine(), 300u);
  // Only the width the view is sized for is drawn.
  list.AppendLine(std::string(9000, 'z'));
  view.Sync();
  EXPECT_EQ(view.WidestLine(), 9000u);
  EXPECT_EQ(view.RowText(3), QString(8192, QLatin1Char('z')));
  list.Clear();
  list.AppendLine("short");
  view.Sync();
  EXPECT_EQ(view.WidestLine(), 5u);
}

class OutputListViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    view = std::make_unique<OutputListView>(list);
    view->resize(300, 120);
    view->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
  }
  // Lines appended and marked as a drain does: the anchor on the newest line.
  void AppendMarked(int n) {
    for (int i = 0; i < n; ++i) list.AppendLine("line " + std::to_string(next++));
    list.SetAnchor(static_cast<int64_t>(list.Count()) - 1);
    view->Sync();
    QTest::qWait(5);
  }
  int FirstRow() { return Vertical()->value(); }
  // The last row lies whole in the viewport.
  bool LastRowVisible() {
    const int last = view->RowCount() - 1;
    return last >= FirstRow() && last < FirstRow() + view->VisibleRows();
  }
  QScrollBar* Vertical() { return view->verticalScrollBar(); }
  QPoint RowCentre(int row) {
    return QPoint(20, (row - FirstRow()) * view->RowHeight() + view->RowHeight() / 2);
  }
  // The colour painted at the left margin of a visible row (no text there).
  QString RowBackground(int row) {
    const QImage image = view->viewport()->grab().toImage();
    return image.pixelColor(0, (row - FirstRow()) * view->RowHeight() + view->RowHeight() / 2)
        .name();
  }

  OutputList list;
  std::unique_ptr<OutputListView> view;
  int next = 0;
};

TEST_F(OutputListViewTest, RowsAreOneFixedPitchLineHigh) {
  // Every character as wide as any other (some monospaced fonts, Noto Sans Mono among them,
  // do not say so of themselves: QFontInfo::fixedPitch is false for them).
  EXPECT_EQ(QFontMetricsF(view->font()).horizontalAdvance(QLatin1Char('i')),
            QFontMetricsF(view->font()).horizontalAdvance(QLatin1Char('W')));
  const int expected = static_cast<int>(std::ceil(QFontMetricsF(view->font()).height())) + 1;
  EXPECT_EQ(view->RowHeight(), expected);
  EXPECT_EQ(view->VisibleRows(), view->viewport()->height() / expected);
  EXPECT_TRUE(Vertical()->isVisible()) << "the vertical bar is always on";
}

TEST_F(OutputListViewTest, FollowsTheNewestLineWhileAtTheBottom) {
  AppendMarked(100);
  EXPECT_TRUE(LastRowVisible());
  EXPECT_EQ(Vertical()->maximum(), 100 - view->VisibleRows()) << "the bar counts rows";
  EXPECT_EQ(Vertical()->value(), Vertical()->maximum());
  AppendMarked(7);
  EXPECT_TRUE(LastRowVisible());
  EXPECT_EQ(FirstRow(), 107 - view->VisibleRows());
  EXPECT_TRUE(view->Following());
}

TEST_F(OutputListViewTest, TheMarkedLineIsTheBottomRowEvenWhenLinesFollowIt) {
  for (int i = 0; i < 100; ++i) list.AppendLine("line " + std::to_string(i));
  list.SetAnchor(60);
  view->Sync();
  EXPECT_EQ(FirstRow(), 60 - view->VisibleRows() + 1);
  list.SetAnchor(2);  // near the top: the view cannot scroll above its first row
  view->Sync();
  EXPECT_EQ(FirstRow(), 0);
}

TEST_F(OutputListViewTest, AUserWhoScrolledUpKeepsThePlace) {
  AppendMarked(100);
  Vertical()->setValue(10);  // the user scrolls up to read
  EXPECT_FALSE(view->Following());
  AppendMarked(50);
  EXPECT_EQ(Vertical()->value(), 10);
  EXPECT_FALSE(LastRowVisible());
  // Back at the bottom, the view follows again.
  Vertical()->setValue(Vertical()->maximum());
  EXPECT_TRUE(view->Following());
  AppendMarked(5);
  EXPECT_TRUE(LastRowVisible());
}

TEST_F(OutputListViewTest, TheWheelScrollsAndLeavesFollowing) {
  AppendMarked(100);
  const int bottom = FirstRow();
  const QPoint at(20, 20);
  QWheelEvent wheel(at, view->viewport()->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(view->viewport(), &wheel);
  EXPECT_LT(FirstRow(), bottom);
  EXPECT_FALSE(view->Following());
  AppendMarked(3);
  EXPECT_LT(FirstRow(), bottom);
}

TEST_F(OutputListViewTest, AnUnmarkedListDoesNotScroll) {
  for (int i = 0; i < 100; ++i) list.AppendLine("sysex " + std::to_string(i));
  view->Sync();
  QTest::qWait(5);
  EXPECT_EQ(Vertical()->value(), 0);
  EXPECT_EQ(view->RowCount(), 100);
}

TEST_F(OutputListViewTest, ALongLineCanBeScrolledToAndFollowingKeepsTheSidewaysPlace) {
  AppendMarked(3);
  EXPECT_EQ(view->horizontalScrollBar()->maximum(), 0);
  list.AppendLine(std::string(200, 'x') + "END");
  list.SetAnchor(static_cast<int64_t>(list.Count()) - 1);
  view->Sync();
  QTest::qWait(5);
  QScrollBar* across = view->horizontalScrollBar();
  const qreal character = QFontMetricsF(view->font()).horizontalAdvance(QLatin1Char('0'));
  // In pixels: the longest line and its margins, less what the viewport shows.
  EXPECT_NEAR(across->maximum(), 203 * character - view->TextWidth(), 2 * character + 8);
  across->setValue(across->maximum());
  AppendMarked(1);
  EXPECT_EQ(across->value(), across->maximum());
  EXPECT_TRUE(LastRowVisible());
}

TEST_F(OutputListViewTest, ClearedListEmptiesTheView) {
  AppendMarked(40);
  list.Clear();
  list.SetAnchor(-1);
  view->Sync();
  QTest::qWait(5);
  EXPECT_EQ(view->RowCount(), 0);
  EXPECT_EQ(Vertical()->maximum(), 0);
  EXPECT_TRUE(view->Following());
  AppendMarked(40);
  EXPECT_TRUE(LastRowVisible());
}

TEST_F(OutputListViewTest, ARefilledListKeepsItsPlaceAndIsRedrawnInPlace) {
  // The statistics table: cleared and refilled with as many rows at every drain.
  const auto refill = [&](const std::string& prefix) {
    list.Clear();
    for (int i = 0; i < 60; ++i) list.AppendLine(prefix + std::to_string(i));
    view->Sync();
  };
  refill("old ");
  Vertical()->setValue(20);
  PaintCounter counter;
  view->viewport()->installEventFilter(&counter);
  refill("new ");
  EXPECT_EQ(Vertical()->value(), 20);
  EXPECT_FALSE(view->Following());
  EXPECT_EQ(view->RowText(20), "new 20");
  QTest::qWait(20);
  EXPECT_EQ(counter.paints, 1) << "one repaint, straight from old rows to new";
  view->viewport()->removeEventFilter(&counter);
}

TEST_F(OutputListViewTest, OnlyAVisibleChangeRepaints) {
  AppendMarked(100);
  QTest::qWait(20);
  PaintCounter counter;
  view->viewport()->installEventFilter(&counter);
  for (int i = 0; i < 3; ++i) view->Sync();  // an idle window's ticks
  QTest::qWait(20);
  EXPECT_EQ(counter.paints, 0);

  Vertical()->setValue(0);  // scrolled up: new lines land out of sight
  QTest::qWait(20);
  counter.paints = 0;
  list.AppendLine("below");
  view->Sync();
  QTest::qWait(20);
  EXPECT_EQ(counter.paints, 0);
  EXPECT_EQ(view->RowCount(), 101);

  Vertical()->setValue(Vertical()->maximum());
  QTest::qWait(20);
  counter.paints = 0;
  AppendMarked(1);
  QTest::qWait(20);
  EXPECT_GE(counter.paints, 1);
  view->viewport()->removeEventFilter(&counter);
}

TEST_F(OutputListViewTest, ARowIsSelectedByMouseAndKeysAndDrawnHighlighted) {
  AppendMarked(100);
  Vertical()->setValue(30);
  QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, RowCentre(32));
  EXPECT_EQ(view->CurrentRow(), 32);
  EXPECT_TRUE(view->hasFocus()) << "a click gives the view focus";
  QTest::qWait(20);
  const QPalette::ColorGroup group = view->isActiveWindow() ? QPalette::Active : QPalette::Inactive;
  EXPECT_EQ(RowBackground(32), view->palette().color(group, QPalette::Highlight).name());
  EXPECT_EQ(RowBackground(33), view->palette().color(group, QPalette::Base).name());

  const int page = view->VisibleRows();
  const struct {
    Qt::Key key;
    int row;
  } moves[] = {
      {Qt::Key_Down, 33},   {Qt::Key_Up, 32},   {Qt::Key_PageDown, 32 + page},
      {Qt::Key_PageUp, 32}, {Qt::Key_Home, 0},  {Qt::Key_Up, 0},
      {Qt::Key_End, 99},    {Qt::Key_Down, 99}, {Qt::Key_PageUp, 99 - page},
  };
  for (const auto& move : moves) {
    SCOPED_TRACE(QTest::toString(move.key));
    QTest::keyClick(view.get(), move.key);
    EXPECT_EQ(view->CurrentRow(), move.row);
    EXPECT_GE(move.row, FirstRow()) << "scrolled into view";
    EXPECT_LT(move.row, FirstRow() + page) << "scrolled into view";
  }
  // Home scrolled the view up: it stopped following; End brought it back to the bottom.
  QTest::keyClick(view.get(), Qt::Key_End);
  EXPECT_TRUE(view->Following());

  // A click below the last row keeps the selection.
  list.Clear();
  list.AppendLine("only");
  view->Sync();
  EXPECT_EQ(view->CurrentRow(), -1) << "a clear takes the selection away";
  QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, RowCentre(0));
  EXPECT_EQ(view->CurrentRow(), 0);
  QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, RowCentre(3));
  EXPECT_EQ(view->CurrentRow(), 0);
}

TEST(OutputListViewFocusTest, TabMovesOnToTheNextControl) {
  OutputList list;
  for (int i = 0; i < 10; ++i) list.AppendLine("line " + std::to_string(i));
  QWidget window;
  auto* layout = new QVBoxLayout(&window);
  auto* view = new OutputListView(list);
  auto* edit = new QLineEdit;
  layout->addWidget(view);
  layout->addWidget(edit);
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  EXPECT_TRUE(view->focusPolicy() & Qt::TabFocus);
  view->setFocus();
  ASSERT_TRUE(view->hasFocus());
  QTest::keyClick(view, Qt::Key_Tab);
  EXPECT_TRUE(edit->hasFocus());
  EXPECT_EQ(view->CurrentRow(), -1);
}

}  // namespace
}  // namespace tessaly
