// The main dialog on the fake MIDI service: start-up, filters, copy, clear, closing, timer.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <functional>

#include "capture/midi_constants.h"
#include "capture/port_control.h"
#include "capture/queue_marks.h"
#include "shell/dialog_template.h"
#include "window_test_support.h"

namespace tessaly {
namespace {

using namespace tessaly::test;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

constexpr uint32_t kNoteOn = Short(0x90, 60, 100);
constexpr char kNoteOnAt1500[] =
    " Time.0..00:00:01.500- 643C90 Chan 01 NOTE_ON        # 060 ,Vel 100 , ";

class MonitorDlgTest : public DialogTest {
 protected:
  MonitorDlgTest() : DialogTest({"Port A", "Port B"}) {}
  void Click(int id) { Button(*dialog, id)->click(); }
  QString Clipboard() const { return QGuiApplication::clipboard()->text(); }
};

TEST_F(MonitorDlgTest, StartOpensPortZeroThenWritesTheHelpLines) {
  const std::vector<std::string> expected = {
      StatusLine(kOpenLabel),
      StatusLine(kStartLabel),
      StatusLine(kPrepareLabel),
      StatusLine(kAddBufferLabel),
      "this software is a sophiticated MIDI input monitor",
      "it automaticly opens the first MIDI in port it sees",
      "the input port can be changed",
      "the stream displayed in the can be qualified by clicking the filter buttons up top",
      "good luck",
  };
  EXPECT_EQ(Lines(dialog->core().messageBoxList), expected);
  std::vector<QString> shown;
  for (const std::string& line : expected) shown.push_back(QString::fromStdString(line));
  EXPECT_EQ(ViewRows(*dialog, kIdMessageBoxList), shown);
  EXPECT_TRUE(ViewRows(*dialog, kIdBasicMessageList).empty());
  EXPECT_TRUE(ViewRows(*dialog, kIdSysexList).empty());

  EXPECT_EQ(EditText(*dialog, kIdPortCount), "2");
  EXPECT_EQ(EditText(*dialog, kIdPortIndex), "0");
  EXPECT_EQ(EditText(*dialog, kIdPortName), "Port A");
  EXPECT_EQ(EditText(*dialog, kIdOpenStatus), "1");
  EXPECT_TRUE(service.IsOpen());
  EXPECT_TRUE(service.Started());
  EXPECT_TRUE(service.BufferQueued());

  EXPECT_EQ(dialog->windowTitle(), "Tessaly");
  EXPECT_FALSE(dialog->windowIcon().isNull());
}

TEST(MonitorDlgNoPortTest, StartWithoutPortsShowsTheFailuresAndRuns) {
  FakeMidiInputService service;
  auto dialog = OpenDialog(service);
  ASSERT_NE(dialog, nullptr);
  const std::vector<std::string> lines = Lines(dialog->core().messageBoxList);
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[0], StatusLine(kOpenLabel, "The device identifier is out of range."));
  EXPECT_EQ(lines[4], "this software is a sophiticated MIDI input monitor");
  EXPECT_EQ(EditText(*dialog, kIdPortCount), "0");
  EXPECT_EQ(EditText(*dialog, kIdOpenStatus), "0");
  EXPECT_EQ(EditText(*dialog, kIdPortName), "");
  dialog->reject();
}

TEST_F(MonitorDlgTest, EditsOnlyShowAndOkReadsNothingBack) {
  for (int id : {kIdPortCount, kIdPortIndex, kIdPortName, kIdOpenStatus}) {
    SCOPED_TRACE(id);
    auto* edit = qobject_cast<QLineEdit*>(dialog->Control(id));
    ASSERT_NE(edit, nullptr);
    EXPECT_TRUE(edit->isReadOnly());
  }
  // Even text put there by other means is never taken for a field.
  qobject_cast<QLineEdit*>(dialog->Control(kIdPortIndex))->setText("1");
  Click(kIdOk);
  EXPECT_EQ(dialog->core().ports().portIndex(), 0u);
  EXPECT_THAT(service.CallLog(), ElementsAre("Reset", "UnprepareHeader", "Stop", "Close"));
}

TEST_F(MonitorDlgTest, PortOperationButtonsAreDisabledTheRestEnabled) {
  for (const ControlTemplate& c : kMonitorDialogTemplate.controls) {
    if (c.id == kIdStatic) continue;
    SCOPED_TRACE(c.id);
    const bool portOperation = c.id >= kIdMidiOpen && c.id <= kIdCloseMidiIn;
    EXPECT_EQ(dialog->Control(c.id)->isEnabled(), !portOperation);
  }
}

struct FilterCase {
  int buttonId;
  uint32_t hidden;
  uint32_t shown;
};

TEST_F(MonitorDlgTest, FilterHidesItsMessagesAndItsButtonStaysPressed) {
  const FilterCase cases[] = {
      {kIdKeyOff, Short(0x80, 60, 64), Short(0x90, 60, 100)},
      {kIdKeyOn, Short(0x93, 61, 100), Short(0x83, 61, 0)},
      {kIdVelocityZeroKeyOff, Short(0x90, 62, 0), Short(0x90, 62, 1)},
      {kIdKeyPressure, Short(0xA0, 60, 30), Short(0xB0, 7, 90)},
      {kIdControlChange, Short(0xBF, 7, 90), Short(0xA0, 60, 30)},
      {kIdProgramChange, Short(0xC0, 5, 0), Short(0xD0, 40, 0)},
      {kIdChannelPressure, Short(0xD1, 40, 0), Short(0xC1, 5, 0)},
      {kIdPitchBend, Short(0xE0, 0, 64), Short(0xF8, 0, 0)},
  };
  uint32_t now = 0;
  for (const FilterCase& c : cases) {
    SCOPED_TRACE(c.buttonId);
    QAbstractButton* button = Button(*dialog, c.buttonId);
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(button->isChecked());
    Click(kIdUpdateAll);         // takes what the ring holds (the port's open event at first)
    Click(kIdClearMidiMessage);  // so that the hidden event becomes time zero
    service.DeliverShort(c.hidden, ++now);
    service.DeliverShort(c.shown, ++now);
    Click(kIdUpdateAll);
    std::vector<QString> rows = ViewRows(*dialog, kIdBasicMessageList);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_TRUE(rows[0].startsWith(QString::asprintf(" Time.0..00:00:00.001- %06X ", c.shown)))
        << rows[0].toStdString();
    EXPECT_TRUE(button->isChecked()) << "the drain must not release the button";

    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_FALSE(button->isChecked());
    service.DeliverShort(c.hidden, ++now);
    Click(kIdUpdateAll);
    rows = ViewRows(*dialog, kIdBasicMessageList);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_TRUE(rows[1].contains(QString::asprintf("- %06X ", c.hidden))) << rows[1].toStdString();
  }
}

TEST_F(MonitorDlgTest, CopyPutsTheNumberedTextOnTheClipboard) {
  OutputList& messages = dialog->core().messageBoxList;
  Click(kIdClearMessage);
  messages.AppendLine("good luck");
  messages.AppendLine("the input port can be changed");
  Click(kIdCopyMessage);
  EXPECT_EQ(Clipboard(), "item   0: good luck\r\nitem   1: the input port can be changed\r\n");

  // An empty line, blanks kept at the end, and bytes above 0x7F as Latin-1 characters.
  Click(kIdClearMessage);
  for (const char* line : {"zero", "one", "two", "three", "four", "", "padded   "}) {
    messages.AppendLine(line);
  }
  messages.AppendLine(std::string_view("caf\xe9 \xff\r", 7));
  Click(kIdCopyMessage);
  EXPECT_EQ(Clipboard(), QStringLiteral("item   0: zero\r\nitem   1: one\r\nitem   2: two\r\n"
                                        "item   3: three\r\nitem   4: four\r\nitem   5: \r\n"
                                        "item   6: padded   \r\n") +
                             QString::fromUtf8("item   7: caf\u00e9 \u00ff\r\r\n"));
}

TEST_F(MonitorDlgTest, CopyOfAnEmptyListIsAnEmptyText) {
  QGuiApplication::clipboard()->setText("left over");
  Click(kIdCopySysex);
  EXPECT_EQ(Clipboard(), "");
}

TEST_F(MonitorDlgTest, CopyNumbersPastFourDigits) {
  OutputList& sysex = dialog->core().sysexList;
  for (int i = 0; i < 10001; ++i) sysex.AppendLine("F0 09 F7");
  Click(kIdCopySysex);
  const QString text = Clipboard();
  EXPECT_TRUE(text.startsWith("item   0: F0 09 F7\r\nitem   1: F0 09 F7\r\n"));
  EXPECT_TRUE(text.endsWith("\r\nitem9999: F0 09 F7\r\nitem10000: F0 09 F7\r\n"));
  EXPECT_EQ(text.size(), 10000 * 20 + 21);
}

TEST_F(MonitorDlgTest, ClearThenCopyGivesAnEmptyText) {
  struct Case {
    int clearId;
    int copyId;
  };
  service.DeliverShort(kNoteOn, 1500);
  Click(kIdUpdateAll);
  dialog->core().sysexList.AppendLine("F0 09 F7");
  for (const Case c :
       {Case{kIdClearMessage, kIdCopyMessage}, Case{kIdClearMidiMessage, kIdCopyMidiMessage},
        Case{kIdClearSysex, kIdCopySysex}}) {
    SCOPED_TRACE(c.clearId);
    Click(c.copyId);
    EXPECT_FALSE(Clipboard().isEmpty());
    Click(c.clearId);
    Click(c.copyId);
    EXPECT_EQ(Clipboard(), "");
  }
  // Statistics are restarted, not removed: the table is back at the next drain, zeroed.
  Click(kIdClearStatistics);
  Click(kIdCopyStatistics);
  EXPECT_TRUE(Clipboard().startsWith("item   0: CHN_NOTE_OFF       "));
  EXPECT_TRUE(Clipboard().contains("item   1: CHN_NOTE_ON          0001 "));
  Click(kIdUpdateAll);
  Click(kIdCopyStatistics);
  QString zeroed = "item   1: CHN_NOTE_ON         ";
  for (int cell = 0; cell < 16; ++cell) zeroed += " ____ ";
  EXPECT_TRUE(Clipboard().contains(zeroed + "\r\n")) << Clipboard().toStdString();
}

enum class CloseBy { kOkButton, kCancelButton, kEscape, kCloseBox, kEnter };

TEST(MonitorDlgCloseTest, EveryWayOfClosingShutsThePortDownFirst) {
  const struct {
    CloseBy how;
    QDialog::DialogCode result;
  } cases[] = {
      {CloseBy::kOkButton, QDialog::Accepted}, {CloseBy::kCancelButton, QDialog::Rejected},
      {CloseBy::kEscape, QDialog::Rejected},   {CloseBy::kCloseBox, QDialog::Rejected},
      {CloseBy::kEnter, QDialog::Accepted},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.how));
    FakeMidiInputService service;
    service.SetPorts({"Port A"});
    auto dialog = OpenDialog(service);
    ASSERT_NE(dialog, nullptr);
    switch (c.how) {
      case CloseBy::kOkButton:
        QTest::mouseClick(Button(*dialog, kIdOk), Qt::LeftButton);
        break;
      case CloseBy::kCancelButton:
        QTest::mouseClick(Button(*dialog, kIdCancel), Qt::LeftButton);
        break;
      case CloseBy::kEscape:
        QTest::keyClick(dialog.get(), Qt::Key_Escape);
        break;
      case CloseBy::kCloseBox:
        dialog->close();
        break;
      case CloseBy::kEnter:
        QTest::keyClick(dialog.get(), Qt::Key_Return);
        break;
    }
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), c.result);
    EXPECT_FALSE(service.IsOpen());
    EXPECT_THAT(service.CallLog(), ElementsAre("Reset", "UnprepareHeader", "Stop", "Close"));
    const std::vector<std::string> lines = Lines(dialog->core().messageBoxList);
    ASSERT_EQ(lines.size(), 12u);
    EXPECT_THAT(
        std::vector<std::string>(lines.end() - 3, lines.end()),
        ElementsAre(StatusLine(kResetLabel), StatusLine(kStopLabel), StatusLine(kCloseLabel)));
  }
}

TEST_F(MonitorDlgTest, TimerTicksDrainWithoutAClick) {
  service.DeliverShort(kNoteOn, 1500);
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return !ViewRows(*dialog, kIdBasicMessageList).empty(); }, 2000));
  EXPECT_THAT(ViewRows(*dialog, kIdBasicMessageList), ElementsAre(QString(kNoteOnAt1500)));
  // The first drain drew the statistics table too.
  EXPECT_EQ(ViewRows(*dialog, kIdStatisticsList).size(), 8u);

  service.DeliverShort(Short(0x80, 60, 0), 1600);
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return ViewRows(*dialog, kIdBasicMessageList).size() == 2; }, 2000));
  EXPECT_EQ(ViewRows(*dialog, kIdBasicMessageList)[1],
            " Time.0..00:00:01.600- 003C80 Chan 01 NOTE_OFF       # 060 ,Vel 000 ,");
}

TEST_F(MonitorDlgTest, QueuePastHalfFullDrainsEarlyWithoutTheTimer) {
  dialog->DrainTimer().stop();  // only the capture's early-drain request can drain now
  const OutputList& basic = dialog->core().basicMessageList;
  const size_t before = basic.Count();
  constexpr size_t kBurst = kEventRingFillMark + 44;
  for (size_t i = 0; i < kBurst; ++i) service.DeliverShort(kNoteOn, static_cast<uint32_t>(i));
  EXPECT_TRUE(QTest::qWaitFor([&] { return basic.Count() == before + kBurst; }, 5000));
  EXPECT_EQ(dialog->core().capture().statusCounters.Get(kCountEventsLost), 0u);
  // Below the mark nothing asks for a drain: those wait for the timer.
  for (uint32_t i = 0; i < 10; ++i) service.DeliverShort(kNoteOn, 9000 + i);
  QTest::qWait(300);
  EXPECT_EQ(basic.Count(), before + kBurst);
  // The views take up what early drains brought at most once a timer period: a period has
  // passed, so the next early drain shows everything so far.
  for (size_t i = 0; i < kBurst; ++i) service.DeliverShort(kNoteOn, static_cast<uint32_t>(i));
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return ViewRows(*dialog, kIdBasicMessageList).size() == before + 2 * kBurst + 10; },
      5000));
  EXPECT_EQ(basic.Count(), before + 2 * kBurst + 10);
  for (uint32_t i = 0; i < 10; ++i) service.DeliverShort(kNoteOn, 9100 + i);
  dialog->DrainTimer().start();
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return ViewRows(*dialog, kIdBasicMessageList).size() == before + 2 * kBurst + 20; },
      5000));
  EXPECT_EQ(dialog->core().capture().statusCounters.Get(kCountEventsLost), 0u);
}

TEST_F(MonitorDlgTest, AboutBoxFromContextMenuEntryAndF1) {
  ASSERT_NE(dialog->AboutAction(), nullptr);
  EXPECT_EQ(dialog->AboutAction()->text(), "&About Tessaly...");
  EXPECT_EQ(dialog->contextMenuPolicy(), Qt::ActionsContextMenu);
  EXPECT_TRUE(dialog->actions().contains(dialog->AboutAction()));

  const std::function<void()> ways[] = {
      [&] { dialog->AboutAction()->trigger(); },
      [&] { QTest::keyClick(dialog.get(), Qt::Key_F1); },
  };
  for (const auto& open : ways) {
    SCOPED_TRACE(&open == &ways[0] ? "context menu entry" : "F1");
    // The offscreen platform has no window manager to give the focus back after a box.
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    QStringList seen;
    QTimer::singleShot(0, [&] {
      QWidget* box = QApplication::activeModalWidget();
      if (box == nullptr || box == dialog.get()) return;
      seen << box->windowTitle();
      for (auto* label : box->findChildren<QLabel*>()) {
        if (!label->text().isEmpty()) seen << label->text();
      }
      QTest::keyClick(box, Qt::Key_Return);  // the default button, OK
    });
    open();
    EXPECT_GE(seen.size(), 3) << seen.join('|').toStdString();
    if (seen.size() < 3) continue;
    EXPECT_EQ(seen[0], "About Tessaly");
    EXPECT_EQ(seen[1], "Tessaly Version 1.01");
    EXPECT_TRUE(dialog->isVisible());
  }
}

TEST_F(MonitorDlgTest, OtherWindowMenuCommandsDoNothing) {
  bool boxOpened = false;
  QTimer::singleShot(0, [&] {
    if (QWidget* box = QApplication::activeModalWidget(); box && box != dialog.get()) {
      boxOpened = true;
      box->close();
    }
  });
  dialog->SysCommand(0xF060);
  dialog->SysCommand(0x20);
  QTest::qWait(20);
  EXPECT_FALSE(boxOpened);
  // The low four bits of a command are the window manager's, as with any window menu.
  QTimer::singleShot(0, [&] {
    if (QWidget* box = QApplication::activeModalWidget(); box && box != dialog.get()) {
      boxOpened = true;
      box->close();
    }
  });
  dialog->SysCommand(kIdmAboutBox | 0x3);
  EXPECT_TRUE(boxOpened);
}

}  // namespace
}  // namespace tessaly
