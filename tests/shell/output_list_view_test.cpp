// The list view over a line store: batched rows, Latin-1 text, following the newest line.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "shell/output_list_model.h"
#include "shell/output_list_view.h"
#include "window_test_support.h"

namespace tessaly {
namespace {

using namespace tessaly::test;

QString Row(const OutputListModel& model, int row) {
  return model.data(model.index(row)).toString();
}

TEST(OutputListModelTest, OneRowInsertPerBatchAndOneChangePerClear) {
  OutputList list;
  OutputListModel model(list);
  QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
  QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
  QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
  QSignalSpy reset(&model, &QAbstractItemModel::modelReset);

  for (int i = 0; i < 50; ++i) list.AppendLine("line " + std::to_string(i));
  EXPECT_EQ(model.rowCount(), 0) << "rows appear at the sync, not before";
  model.Sync();
  ASSERT_EQ(inserted.count(), 1);
  EXPECT_EQ(inserted[0][1].toInt(), 0);
  EXPECT_EQ(inserted[0][2].toInt(), 49);
  EXPECT_EQ(model.rowCount(), 50);
  EXPECT_EQ(Row(model, 49), "line 49");

  model.Sync();
  EXPECT_EQ(inserted.count(), 1) << "nothing new, no signal";

  for (const char* line : {"a", "b", "c"}) list.AppendLine(line);
  model.Sync();
  ASSERT_EQ(inserted.count(), 2);
  EXPECT_EQ(inserted[1][1].toInt(), 50);
  EXPECT_EQ(inserted[1][2].toInt(), 52);

  // Cleared and refilled between two syncs, as the statistics table is at every redraw.
  list.Clear();
  list.AppendLine("x");
  list.AppendLine("y");
  model.Sync();
  ASSERT_EQ(removed.count(), 1);
  EXPECT_EQ(removed[0][1].toInt(), 2);
  EXPECT_EQ(removed[0][2].toInt(), 52);
  ASSERT_EQ(changed.count(), 1);
  EXPECT_EQ(changed[0][0].toModelIndex().row(), 0);
  EXPECT_EQ(changed[0][1].toModelIndex().row(), 1);
  EXPECT_EQ(model.rowCount(), 2);
  EXPECT_EQ(Row(model, 0), "x");
  EXPECT_EQ(Row(model, 1), "y");

  // Cleared and refilled with more than before: the extra rows are inserted.
  list.Clear();
  for (const char* line : {"p", "q", "r"}) list.AppendLine(line);
  model.Sync();
  EXPECT_EQ(inserted.count(), 3);
  EXPECT_EQ(model.rowCount(), 3);
  EXPECT_EQ(Row(model, 2), "r");

  list.Clear();
  EXPECT_FALSE(model.data(model.index(0)).isValid()) << "a cleared line is not read";
  model.Sync();
  EXPECT_EQ(reset.count(), 1);
  EXPECT_EQ(model.rowCount(), 0);
}

TEST(OutputListModelTest, BytesShowAsLatin1AndTheWidestLineIsKnown) {
  OutputList list;
  list.AppendLine(std::string_view("caf\xe9\r\x01\xff", 7));
  list.AppendLine("  blanks kept  ");
  OutputListModel model(list);
  EXPECT_EQ(Row(model, 0), QString::fromUtf8("caf\u00e9\r\u0001\u00ff"));
  EXPECT_EQ(Row(model, 1), "  blanks kept  ");
  EXPECT_EQ(model.WidestLine(), 15u);
  list.AppendLine(std::string(300, 'w'));
  model.Sync();
  EXPECT_EQ(model.WidestLine(), 300u);
  list.Clear();
  list.AppendLine("short");
  model.Sync();
  EXPECT_EQ(model.WidestLine(), 5u);
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
  bool LastRowVisible() {
    const QRect last = view->visualRect(view->model()->index(view->model()->rowCount() - 1, 0));
    // Rows are as wide as the longest line; only the height says whether a row is in view.
    return last.isValid() && last.top() >= 0 && last.bottom() <= view->viewport()->height();
  }
  QScrollBar* Vertical() { return view->verticalScrollBar(); }

  OutputList list;
  std::unique_ptr<OutputListView> view;
  int next = 0;
};

TEST_F(OutputListViewTest, FollowsTheNewestLineWhileAtTheBottom) {
  AppendMarked(100);
  EXPECT_TRUE(LastRowVisible());
  EXPECT_EQ(Vertical()->value(), Vertical()->maximum());
  AppendMarked(7);
  EXPECT_TRUE(LastRowVisible());
  EXPECT_TRUE(view->Following());
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

TEST_F(OutputListViewTest, AnUnmarkedListDoesNotScroll) {
  for (int i = 0; i < 100; ++i) list.AppendLine("sysex " + std::to_string(i));
  view->Sync();
  QTest::qWait(5);
  EXPECT_EQ(Vertical()->value(), 0);
  EXPECT_EQ(view->model()->rowCount(), 100);
}

TEST_F(OutputListViewTest, ALongLineCanBeScrolledToAndFollowingKeepsTheSidewaysPlace) {
  AppendMarked(3);
  EXPECT_EQ(view->horizontalScrollBar()->maximum(), 0);
  list.AppendLine(std::string(200, 'x') + "END");
  list.SetAnchor(static_cast<int64_t>(list.Count()) - 1);
  view->Sync();
  QTest::qWait(5);
  QScrollBar* across = view->horizontalScrollBar();
  EXPECT_GT(across->maximum(), 0);
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
  EXPECT_EQ(view->model()->rowCount(), 0);
  EXPECT_TRUE(view->Following());
  AppendMarked(40);
  EXPECT_TRUE(LastRowVisible());
}

}  // namespace
}  // namespace tessaly
