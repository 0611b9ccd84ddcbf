// The main dialog against its template: controls, kinds, captions, tab order, geometry.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <map>

#include "shell/dialog_template.h"
#include "shell/dialog_units.h"
#include "window_test_support.h"

namespace tessaly {
namespace {

using namespace tessaly::test;

enum class Kind { kDefaultButton, kButton, kToggle, kEdit, kList, kGroup };

struct Expected {
  int id;
  Kind kind;
  const char* caption;
};

// The control table in the template's order, which is the tab order.
constexpr Expected kControls[] = {
    {1, Kind::kDefaultButton, "OK"},
    {2, Kind::kButton, "Cancel"},
    {1000, Kind::kEdit, ""},
    {1001, Kind::kButton, "Up"},
    {1002, Kind::kButton, "Down"},
    {1003, Kind::kEdit, ""},
    {1004, Kind::kEdit, ""},
    {1005, Kind::kButton, "Midi Open"},
    {1006, Kind::kButton, "Midi In Start"},
    {1007, Kind::kButton, "Prepare Header"},
    {1008, Kind::kButton, "Add_Buffer"},
    {1009, Kind::kButton, "Stop Midi In"},
    {1010, Kind::kButton, "Reset Midi In"},
    {1011, Kind::kButton, "Unprepare Buffer"},
    {1012, Kind::kButton, "Close Midi In"},
    {1013, Kind::kList, ""},
    {1015, Kind::kList, ""},
    {1016, Kind::kList, ""},
    {1017, Kind::kList, ""},
    {1018, Kind::kEdit, ""},
    {1019, Kind::kButton, "Update all Windows"},
    {1020, Kind::kButton, "Clear Sysex Window"},
    {1021, Kind::kButton, "Clear Midi Message Window"},
    {1022, Kind::kButton, "Clear Statistics Window"},
    {1023, Kind::kGroup, "Midi Filters"},
    {1024, Kind::kToggle, "Key Off"},
    {1025, Kind::kToggle, "Key On"},
    {1026, Kind::kToggle, "Key Preasure"},
    {1027, Kind::kToggle, "Midi Control Change"},
    {1028, Kind::kToggle, "Midi Program Change"},
    {1029, Kind::kToggle, "Midi Channel Preasure"},
    {1030, Kind::kToggle, "Midi Channel Pitch Bend"},
    {1031, Kind::kToggle, "Vel 0 Key Off"},
    {1032, Kind::kButton, "Clear Message Window"},
    {1033, Kind::kButton, "Copy Message Window"},
    {1034, Kind::kButton, "Copy Midi Message Window"},
    {1035, Kind::kButton, "Copy Statistics"},
    {1036, Kind::kButton, "Copy Sysex Message Window"},
};

class DialogLayoutTest : public DialogTest {
 protected:
  QRect Geometry(int id) { return dialog->Control(id)->geometry(); }
};

TEST_F(DialogLayoutTest, EveryControlWithItsKindAndCaption) {
  for (const Expected& e : kControls) {
    SCOPED_TRACE(e.id);
    QWidget* control = dialog->Control(e.id);
    ASSERT_NE(control, nullptr);
    switch (e.kind) {
      case Kind::kDefaultButton:
      case Kind::kButton:
      case Kind::kToggle: {
        auto* button = qobject_cast<QPushButton*>(control);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), e.caption);
        EXPECT_EQ(button->isDefault(), e.kind == Kind::kDefaultButton);
        EXPECT_EQ(button->isCheckable(), e.kind == Kind::kToggle);
        break;
      }
      case Kind::kEdit:
        EXPECT_NE(qobject_cast<QLineEdit*>(control), nullptr);
        break;
      case Kind::kList:
        EXPECT_NE(dialog->ListView(e.id), nullptr);
        break;
      case Kind::kGroup: {
        auto* group = qobject_cast<QGroupBox*>(control);
        ASSERT_NE(group, nullptr);
        EXPECT_EQ(group->title(), e.caption);
        break;
      }
    }
  }
  QStringList labels;
  for (QLabel* label : dialog->findChildren<QLabel*>()) labels << label->text();
  EXPECT_THAT(labels, ::testing::UnorderedElementsAre(
                          "Number of Midi In Ports", "Active Miidi In Port", "Midi In Port Name",
                          "Sysex Message Window", "Message Box", "Basic Midi Message",
                          "Midi Statistics Window", "Status"));
}

TEST_F(DialogLayoutTest, TabWalksTheControlsInTemplateOrder) {
  std::vector<int> expected;
  for (const Expected& e : kControls) {
    // Disabled buttons and the group frame take no focus.
    if ((e.id >= 1005 && e.id <= 1012) || e.kind == Kind::kGroup) continue;
    expected.push_back(e.id);
  }
  Button(*dialog, kIdOk)->setFocus();
  std::vector<int> walked;
  for (size_t step = 0; step < expected.size(); ++step) {
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    walked.push_back(focus->objectName().mid(7).toInt());  // "control1234"
    QTest::keyClick(focus, Qt::Key_Tab);
  }
  EXPECT_EQ(walked, expected);
  EXPECT_EQ(QApplication::focusWidget(), dialog->Control(kIdOk)) << "the walk comes round";
}

TEST(DialogUnitsTest, MapsEdgesThroughTheBaseUnits) {
  // The classic 8-point dialog font measures 6 by 13 pixels.
  const DialogBaseUnits classic{6, 13};
  EXPECT_EQ(MapDialogRect({610, 7, 50, 14}, classic), QRect(915, 11, 75, 23));
  EXPECT_EQ(MapDialogRect({449, 24, 38, 10}, classic), QRect(674, 39, 57, 16));
  EXPECT_EQ(MapDialogRect({494, 24, 46, 10}, classic), QRect(741, 39, 69, 16));
  EXPECT_EQ(MapDialogSize(672, 426, classic), QSize(1008, 692));
  // Rounding half up on the edges: 1 unit of 13/8 is 1.625 pixels, 3 units 4.875.
  EXPECT_EQ(MapDialogRect({1, 1, 2, 2}, classic), QRect(2, 2, 3, 3));
  const DialogBaseUnits wide{7, 15};
  EXPECT_EQ(MapDialogSize(672, 426, wide), QSize(1176, 799));
}

TEST(DialogUnitsTest, BaseUnitsGrowWithTheFont) {
  QFont small = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  small.setPointSize(8);
  QFont large = small;
  large.setPointSize(16);
  const DialogBaseUnits a = BaseUnitsOf(small);
  const DialogBaseUnits b = BaseUnitsOf(large);
  EXPECT_GT(a.x, 0);
  EXPECT_GT(a.y, 0);
  EXPECT_NEAR(b.x, 2 * a.x, 2);
  EXPECT_NEAR(b.y, 2 * a.y, 3);
}

TEST_F(DialogLayoutTest, GeometryFollowsTheTemplateOnTheDialogFont) {
  const DialogBaseUnits units = BaseUnitsOf(dialog->font());
  EXPECT_EQ(dialog->size(), MapDialogSize(672, 426, units));
  EXPECT_EQ(dialog->minimumSize(), dialog->size()) << "the template's size is the smallest";
  const QRect client = dialog->rect();
  for (const Expected& e : kControls) {
    SCOPED_TRACE(e.id);
    EXPECT_TRUE(client.contains(Geometry(e.id))) << "inside the dialog";
  }
  // The filter toggles lie inside their group, beside or below each other, never on top.
  const QRect group = Geometry(kIdFilterGroup);
  for (int a = kIdKeyOff; a <= kIdVelocityZeroKeyOff; ++a) {
    SCOPED_TRACE(a);
    EXPECT_TRUE(group.contains(Geometry(a)));
    for (int b = a + 1; b <= kIdVelocityZeroKeyOff; ++b) {
      EXPECT_FALSE(Geometry(a).intersects(Geometry(b))) << b;
    }
  }
  EXPECT_EQ(Geometry(kIdKeyOn).top(), Geometry(kIdVelocityZeroKeyOff).top());
  EXPECT_LT(Geometry(kIdKeyOn).right(), Geometry(kIdVelocityZeroKeyOff).left());
  // The lists: message box above sysex above statistics on the left, the tall one right.
  EXPECT_LT(Geometry(kIdMessageBoxList).bottom(), Geometry(kIdSysexList).top());
  EXPECT_LT(Geometry(kIdSysexList).bottom(), Geometry(kIdStatisticsList).top());
  EXPECT_LT(Geometry(kIdMessageBoxList).right(), Geometry(kIdBasicMessageList).left());
  EXPECT_EQ(Geometry(kIdBasicMessageList).top(), Geometry(kIdMessageBoxList).top());
  EXPECT_EQ(Geometry(kIdPortCount).left(), Geometry(kIdPortIndex).left());
}

TEST_F(DialogLayoutTest, ALargerWindowGivesTheListsTheRoom) {
  std::map<int, QRect> before;
  for (const Expected& e : kControls) before[e.id] = Geometry(e.id);
  // The template itself lets the statistics window's top edge run one unit under its two
  // buttons; that is the only overlap it has, and a larger window must add none.
  const auto templateOverlap = [&](QWidget* a, QWidget* b) {
    const QRect ra = before.count(a->objectName().mid(7).toInt())
                         ? before[a->objectName().mid(7).toInt()]
                         : QRect();
    const QRect rb = before.count(b->objectName().mid(7).toInt())
                         ? before[b->objectName().mid(7).toInt()]
                         : QRect();
    return a->objectName().startsWith("control") && b->objectName().startsWith("control") &&
           ra.intersects(rb);
  };
  const QSize small = dialog->size();
  for (const QSize extra : {QSize(400, 300), QSize(0, 250), QSize(300, 0), QSize(-50, -50)}) {
    SCOPED_TRACE(extra.width() * 10000 + extra.height());
    dialog->resize(small + extra);
    QTest::qWait(10);
    EXPECT_EQ(dialog->size(), small.expandedTo(small + extra)) << "never below the template";
    for (int id : {kIdMessageBoxList, kIdBasicMessageList, kIdStatisticsList, kIdSysexList}) {
      const QSize grown = Geometry(id).size() - before[id].size();
      EXPECT_GE(grown.width(), 0) << id;
      EXPECT_GE(grown.height(), 0) << id;
      if (extra.width() > 0) {
        EXPECT_GT(grown.width(), 0) << id;
      }
      if (extra.height() > 0) {
        EXPECT_GT(grown.height(), 0) << id;
      }
    }
    if (extra.height() > 0) {
      const int sysex = Geometry(kIdSysexList).height() - before[kIdSysexList].height();
      EXPECT_GT(sysex, Geometry(kIdMessageBoxList).height() - before[kIdMessageBoxList].height());
      EXPECT_GT(sysex, Geometry(kIdStatisticsList).height() - before[kIdStatisticsList].height());
    }
    const QRect client = dialog->rect();
    std::vector<QWidget*> all;
    for (QWidget* w : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      if (w->isWindow() || !w->isVisible()) continue;
      all.push_back(w);
    }
    ASSERT_GE(all.size(), std::size(kControls));
    const QWidget* group = dialog->Control(kIdFilterGroup);
    for (size_t a = 0; a < all.size(); ++a) {
      EXPECT_TRUE(client.contains(all[a]->geometry())) << all[a]->objectName().toStdString();
      for (size_t b = a + 1; b < all.size(); ++b) {
        // The toggles lie inside their group box, as on the template.
        if (all[a] == group || all[b] == group) {
          const QWidget* other = all[a] == group ? all[b] : all[a];
          const int id = other->objectName().mid(7).toInt();
          if (id >= kIdKeyOff && id <= kIdVelocityZeroKeyOff) {
            EXPECT_TRUE(group->geometry().contains(other->geometry())) << id;
            continue;
          }
        }
        if (templateOverlap(all[a], all[b])) {
          EXPECT_LE(all[a]->geometry().intersected(all[b]->geometry()).height(),
                    before[all[a]->objectName().mid(7).toInt()]
                        .intersected(before[all[b]->objectName().mid(7).toInt()])
                        .height());
          continue;
        }
        EXPECT_FALSE(all[a]->geometry().intersects(all[b]->geometry()))
            << all[a]->objectName().toStdString() << " over " << all[b]->objectName().toStdString()
            << (qobject_cast<QLabel*>(all[a]) ? qobject_cast<QLabel*>(all[a])->text().toStdString()
                                              : std::string());
      }
    }
    // The order the template gives stays: message box above sysex above statistics, the
    // MIDI message list to their right, OK above Cancel at the right edge.
    EXPECT_LT(Geometry(kIdMessageBoxList).bottom(), Geometry(kIdSysexList).top());
    EXPECT_LT(Geometry(kIdSysexList).bottom(), Geometry(kIdStatisticsList).top());
    EXPECT_LT(Geometry(kIdSysexList).right(), Geometry(kIdBasicMessageList).left());
    EXPECT_EQ(client.right() - Geometry(kIdOk).right(), small.width() - 1 - before[kIdOk].right());
  }
}

TEST_F(DialogLayoutTest, TheSysexListFollowsItsLastLineUntilScrolledUp) {
  OutputList& sysex = dialog->core().sysexList;
  OutputListView* view = dialog->ListView(kIdSysexList);
  for (int i = 0; i < 60; ++i) sysex.AppendLine("sysex line " + std::to_string(i));
  Button(*dialog, kIdUpdateAll)->click();
  QScrollBar* bar = view->verticalScrollBar();
  ASSERT_GT(bar->maximum(), 0);
  EXPECT_EQ(bar->value(), bar->maximum()) << "the newest line in sight";
  bar->setValue(3);  // the user reads back
  for (int i = 60; i < 80; ++i) sysex.AppendLine("sysex line " + std::to_string(i));
  Button(*dialog, kIdUpdateAll)->click();
  EXPECT_EQ(bar->value(), 3) << "the place kept";
  bar->setValue(bar->maximum());
  for (int i = 80; i < 90; ++i) sysex.AppendLine("sysex line " + std::to_string(i));
  Button(*dialog, kIdUpdateAll)->click();
  EXPECT_EQ(bar->value(), bar->maximum());
  EXPECT_EQ(bar->value() + view->VisibleRows() - 1, 89);
}

TEST_F(DialogLayoutTest, AStatisticsRowFitsItsWindowInTheListFont) {
  OutputListView* view = dialog->ListView(kIdStatisticsList);
  Button(*dialog, kIdUpdateAll)->click();
  ASSERT_EQ(view->RowCount(), 8);
  QTest::qWait(20);
  EXPECT_EQ(view->horizontalScrollBar()->maximum(), 0) << "no sideways scrolling";
  EXPECT_EQ(view->verticalScrollBar()->maximum(), 0) << "all eight rows in view";
  // Every character as wide as any other (some monospaced fonts, Noto Sans Mono among them,
  // do not say so of themselves: QFontInfo::fixedPitch is false for them).
  EXPECT_EQ(QFontMetricsF(view->font()).horizontalAdvance(QLatin1Char('i')),
            QFontMetricsF(view->font()).horizontalAdvance(QLatin1Char('W')));
  for (int id : {kIdMessageBoxList, kIdBasicMessageList, kIdSysexList}) {
    EXPECT_EQ(dialog->ListView(id)->font(), view->font()) << id;
  }
}

}  // namespace
}  // namespace tessaly
