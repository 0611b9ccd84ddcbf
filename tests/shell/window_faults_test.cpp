// The window's start port, its redraw of the statistics table between two view updates, and
// the way out when the event loop ends without OK or Cancel.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QTest>
#include <QTimer>

#include "capture/port_control.h"
#include "display/monitor_core.h"
#include "shell/dialog_template.h"
#include "shell/output_list_view.h"
#include "window_test_support.h"

namespace tessaly {
namespace {

using namespace tessaly::test;
using ::testing::ElementsAre;

TEST(WindowStartPortTest, OnlyTheChosenPortIsOpenedAndItsLinesComeFirst) {
  for (uint32_t port : {0u, 2u}) {
    SCOPED_TRACE(port);
    FakeMidiInputService service;
    service.SetPorts({"Port A", "Port B", "Port C"});
    CMonitorDlg dialog(service, port);
    std::vector<std::string> opens;
    for (const std::string& call : service.CallLog()) {
      if (call.rfind("Open", 0) == 0) opens.push_back(call);
    }
    EXPECT_THAT(opens, ElementsAre("Open " + std::to_string(port)));
    std::vector<std::string> expected = {StatusLine(kOpenLabel), StatusLine(kStartLabel),
                                         StatusLine(kPrepareLabel), StatusLine(kAddBufferLabel)};
    for (std::string_view help : kHelpLines) expected.emplace_back(help);
    EXPECT_EQ(Lines(dialog.core().messageBoxList), expected);
    EXPECT_EQ(service.OpenPortIndex(), port);
    EXPECT_EQ(EditText(dialog, kIdPortIndex), QString::number(port));
    EXPECT_EQ(EditText(dialog, kIdPortName), QString("Port %1").arg(QChar('A' + port)));
    dialog.reject();
  }
}

// Pixels of the view's text colour: zero for a viewport painted with no rows.
int TextPixels(OutputListView& view) {
  const QImage image = view.viewport()->grab().toImage();
  const QColor base = view.viewport()->palette().color(view.viewport()->backgroundRole());
  int n = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) n += image.pixelColor(x, y) != base;
  }
  return n;
}

TEST(WindowStatisticsRedrawTest, AViewPaintedBetweenADrainAndItsUpdateShowsTheRows) {
  FakeMidiInputService service;
  service.SetPorts({"Port A"});
  auto dialog = OpenDialog(service);
  ASSERT_NE(dialog, nullptr);
  dialog->DrainTimer().stop();
  Button(*dialog, kIdUpdateAll)->click();
  OutputListView& view = *dialog->ListView(kIdStatisticsList);
  ASSERT_EQ(ViewRows(*dialog, kIdStatisticsList).size(), 8u);
  const int painted = TextPixels(view);
  ASSERT_GT(painted, 0);

  // What an early drain in a flood does: the table is cleared and drawn again, and the view
  // takes that up only at the next timer period. An expose in between paints the table.
  service.DeliverShort(Short(0x90, 60, 100), 10);
  dialog->core().DrainAndDisplay();
  ASSERT_EQ(dialog->core().statisticsList.Count(), 8u);
  for (int row = 0; row < 8; ++row) {
    EXPECT_EQ(view.RowText(row), Latin1(dialog->core().statisticsList.Line(row))) << row;
  }
  EXPECT_GT(TextPixels(view), painted / 2) << "the table painted empty";
  dialog->reject();
}

TEST(WindowExitTest, AnEventLoopEndedWithoutOkOrCancelClosesThePortFirst) {
  FakeMidiInputService service;
  service.SetPorts({"Port A"});
  {
    auto dialog = OpenDialog(service);
    ASSERT_NE(dialog, nullptr);
    // A session logout or another part of the program ending the application's loops.
    QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
    dialog->exec();
  }
  EXPECT_FALSE(service.IsOpen()) << "the capture state went with the port open";
  EXPECT_THAT(service.CallLog(), ElementsAre("Reset", "UnprepareHeader", "Stop", "Close"));
  // quit() leaves the thread's loops told to end; a run of the application's own loop, which
  // ends at once, puts that right for the tests that follow in this process.
  QTimer::singleShot(0, qApp, &QCoreApplication::quit);
  QCoreApplication::exec();
}

TEST(WindowTextTest, NamesAndLinesShowNoControlAndNoEscapeLookalike) {
  const struct {
    const char* name;  // as the device gives it (UTF-8)
    const char* shown;
  } names[] = {
      {"M\xC3\xBCller", "M\u00fcller"},
      {"csi\xC2\x9B"
       "2J",
       "csi\\xC2\\x9B2J"},
      {"raw\x9D"
       "0;x\x07",
       "raw\\x9D0;x\\x07"},
      {"a\\b", "a\\\\b"},
  };
  for (const auto& c : names) {
    SCOPED_TRACE(c.shown);
    FakeMidiInputService service;
    service.SetPorts({c.name});
    CMonitorDlg dialog(service);
    EXPECT_EQ(EditText(dialog, kIdPortName), QString::fromUtf8(c.shown));
    dialog.reject();
  }
  // The four characters \x0D a device sent and the carriage return it did not send look
  // different.
  OutputList list;
  list.AppendLine("\\x0D");
  list.AppendLine("\r");
  OutputListView view(list);
  EXPECT_EQ(view.RowText(0), "\\\\x0D");
  EXPECT_EQ(view.RowText(1), "\\x0D");
}

}  // namespace
}  // namespace tessaly
