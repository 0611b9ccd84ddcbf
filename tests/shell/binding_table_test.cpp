// Walks the dialog's whole binding table: each row, on a freshly started dialog, does what its
// control is for. A row without a case here, or a case without a row, fails.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <functional>
#include <set>
#include <utility>

#include "capture/port_control.h"
#include "shell/dialog_template.h"
#include "window_test_support.h"

namespace tessaly {
namespace {

using namespace tessaly::test;
using Event = CMonitorDlg::Event;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr uint32_t kNoteOn = Short(0x90, 60, 100);
constexpr char kNoteOnAt1500[] =
    " Time.0..00:00:01.500- 643C90 Chan 01 NOTE_ON        # 060 ,Vel 100 , ";
constexpr char kStillQueued[] = "A buffer is still in the queue.";

// A dialog started on port 0 of two, its buffer queued.
struct World {
  World() {
    service.SetPorts({"Port A", "Port B"});
    dialog = OpenDialog(service);
    if (dialog != nullptr) Mark();
  }
  ~World() {
    if (dialog != nullptr && dialog->isVisible()) dialog->reject();
  }
  // What counts as "before the event": the lines so far and the calls so far.
  void Mark() {
    linesBefore = dialog->core().messageBoxList.Count();
    service.ClearCallLog();
  }
  std::vector<std::string> NewLines() const {
    std::vector<std::string> lines = Lines(dialog->core().messageBoxList);
    return std::vector<std::string>(lines.begin() + static_cast<long>(linesBefore), lines.end());
  }
  void Click(int id) { Button(*dialog, id)->click(); }
  std::vector<QString> Rows(int listId) { return ViewRows(*dialog, listId); }

  FakeMidiInputService service;
  std::unique_ptr<CMonitorDlg> dialog;
  size_t linesBefore = 0;
  QStringList aboutSeen;
};

struct RowCase {
  Event event;
  int id;
  std::function<void(World&)> before;
  std::function<void(World&)> check;
};

void NoteOnShown(World& w) {
  w.service.DeliverShort(kNoteOn, 1500);
  w.Click(kIdUpdateAll);
  w.Mark();
}

// A filter button sets its own flag only, and shows pressed.
RowCase FilterCase(int id, FilterId filter) {
  return {Event::kClicked, id, nullptr, [id, filter](World& w) {
            const FilterSet& flags = w.dialog->core().filters();
            for (FilterId other :
                 {FilterId::kKeyOff, FilterId::kKeyOn, FilterId::kVelocityZeroKeyOff,
                  FilterId::kKeyPressure, FilterId::kControlChange, FilterId::kProgramChange,
                  FilterId::kChannelPressure, FilterId::kPitchBend}) {
              EXPECT_EQ(flags.Flag(other), other == filter ? 1u : 0u);
            }
            EXPECT_TRUE(Button(*w.dialog, id)->isChecked());
            EXPECT_THAT(w.NewLines(), IsEmpty());
          }};
}

void ShutDownAndClosed(World& w, QDialog::DialogCode result) {
  EXPECT_FALSE(w.dialog->isVisible());
  EXPECT_EQ(w.dialog->result(), result);
  EXPECT_THAT(w.NewLines(), ElementsAre(StatusLine(kResetLabel), StatusLine(kStopLabel),
                                        StatusLine(kCloseLabel)));
  EXPECT_THAT(w.service.CallLog(), ElementsAre("Reset", "UnprepareHeader", "Stop", "Close"));
}

std::vector<RowCase> Cases() {
  return {
      {Event::kSysCommand, kIdmAboutBox, nullptr,
       [](World& w) { EXPECT_THAT(w.aboutSeen, ElementsAre("About Tessaly")); }},
      {Event::kClicked, kIdMidiOpen, nullptr,
       [](World& w) {
         EXPECT_THAT(w.NewLines(), ElementsAre(std::string(kOpenRefusedLine)));
         EXPECT_THAT(w.service.CallLog(), IsEmpty());
       }},
      {Event::kClicked, kIdMidiInStart, nullptr,
       [](World& w) {
         EXPECT_THAT(w.NewLines(), ElementsAre(StatusLine(kStartLabel)));
         EXPECT_THAT(w.service.CallLog(), ElementsAre("Start"));
       }},
      {Event::kClicked, kIdPrepareHeader, nullptr,
       [](World& w) {
         EXPECT_THAT(w.NewLines(), ElementsAre(StatusLine(kPrepareLabel)));
         EXPECT_THAT(w.service.CallLog(), ElementsAre("PrepareHeader"));
       }},
      {Event::kClicked, kIdAddBuffer, nullptr,
       [](World& w) {
         EXPECT_THAT(w.NewLines(), ElementsAre(StatusLine(kAddBufferLabel, kStillQueued)));
         EXPECT_THAT(w.service.CallLog(), ElementsAre("AddBuffer -> 65"));
       }},
      {Event::kClicked, kIdStopMidiIn, nullptr,
       [](World& w) {
         EXPECT_THAT(w.NewLines(), ElementsAre(StatusLine(kStopLabel)));
         EXPECT_THAT(w.service.CallLog(), ElementsAre("Stop"));
         EXPECT_FALSE(w.service.Started());
       }},
      {Event::kClicked, kIdResetMidiIn, nullptr,
       [](World& w) {
         EXPECT_THAT(w.NewLines(), ElementsAre(StatusLine(kResetLabel)));
         // The returned buffer goes straight back to the driver.
         EXPECT_THAT(w.service.CallLog(), ElementsAre("Reset", "PrepareHeader", "AddBuffer"));
         EXPECT_TRUE(w.service.BufferQueued());
       }},
      {Event::kClicked, kIdUnprepareBuffer, nullptr,
       [](World& w) {
         EXPECT_THAT(w.NewLines(), ElementsAre(StatusLine(kResetLabel)));
         EXPECT_THAT(w.service.CallLog(), ElementsAre("Reset", "UnprepareHeader"));
         EXPECT_FALSE(w.service.BufferQueued());
       }},
      {Event::kClicked, kIdCloseMidiIn, nullptr,
       [](World& w) {
         EXPECT_THAT(w.NewLines(), ElementsAre(StatusLine(kResetLabel), StatusLine(kCloseLabel)));
         EXPECT_THAT(w.service.CallLog(),
                     ElementsAre("Close -> 65", "Reset", "UnprepareHeader", "Close"));
         EXPECT_EQ(EditText(*w.dialog, kIdOpenStatus), "0");
       }},
      {Event::kClicked, kIdUpdateAll, [](World& w) { w.service.DeliverShort(kNoteOn, 1500); },
       [](World& w) {
         EXPECT_THAT(w.Rows(kIdBasicMessageList), ElementsAre(QString(kNoteOnAt1500)));
       }},
      {Event::kClicked, kIdUp, nullptr,
       [](World& w) {
         EXPECT_THAT(w.NewLines(), ElementsAre(StatusLine(kResetLabel), StatusLine(kStopLabel),
                                               StatusLine(kCloseLabel), StatusLine(kOpenLabel),
                                               StatusLine(kStartLabel), StatusLine(kPrepareLabel),
                                               StatusLine(kAddBufferLabel)));
         EXPECT_EQ(w.service.OpenPortIndex(), 1u);
         EXPECT_EQ(EditText(*w.dialog, kIdPortIndex), "1");
         EXPECT_EQ(EditText(*w.dialog, kIdPortName), "Port B");
       }},
      {Event::kClicked, kIdDown,
       [](World& w) {
         w.Click(kIdUp);
         w.Mark();
       },
       [](World& w) {
         EXPECT_EQ(w.NewLines().size(), 7u);
         EXPECT_EQ(w.service.OpenPortIndex(), 0u);
         EXPECT_EQ(EditText(*w.dialog, kIdPortIndex), "0");
         EXPECT_EQ(EditText(*w.dialog, kIdPortName), "Port A");
       }},
      {Event::kTimer, kTimerId, [](World& w) { w.service.DeliverShort(kNoteOn, 1500); },
       [](World& w) {
         EXPECT_THAT(w.Rows(kIdBasicMessageList), ElementsAre(QString(kNoteOnAt1500)));
       }},
      {Event::kClicked, kIdClearSysex,
       [](World& w) {
         w.dialog->core().sysexList.AppendLine("one");
         w.dialog->core().sysexList.AppendLine("two");
         w.Click(kIdUpdateAll);
         ASSERT_EQ(w.Rows(kIdSysexList).size(), 2u);
       },
       [](World& w) {
         EXPECT_EQ(w.dialog->core().sysexList.Count(), 0u);
         EXPECT_THAT(w.Rows(kIdSysexList), IsEmpty());
       }},
      {Event::kClicked, kIdClearMidiMessage, [](World& w) { NoteOnShown(w); },
       [](World& w) {
         EXPECT_THAT(w.Rows(kIdBasicMessageList), IsEmpty());
         // The next event is time zero.
         w.service.DeliverShort(kNoteOn, 7000);
         w.Click(kIdUpdateAll);
         EXPECT_THAT(w.Rows(kIdBasicMessageList),
                     ElementsAre(QString(" Time.0..00:00:00.000- 643C90 Chan 01 NOTE_ON        "
                                         "# 060 ,Vel 100 , ")));
       }},
      {Event::kClicked, kIdClearStatistics, [](World& w) { NoteOnShown(w); },
       [](World& w) {
         // Nothing changes at the click; the next drain zeroes the table.
         ASSERT_EQ(w.Rows(kIdStatisticsList).size(), 8u);
         EXPECT_TRUE(w.Rows(kIdStatisticsList)[1].startsWith("CHN_NOTE_ON          0001  ____ "));
         w.Click(kIdUpdateAll);
         ASSERT_EQ(w.Rows(kIdStatisticsList).size(), 8u);
         EXPECT_TRUE(w.Rows(kIdStatisticsList)[1].startsWith("CHN_NOTE_ON          ____  ____ "));
       }},
      FilterCase(kIdKeyOff, FilterId::kKeyOff),
      FilterCase(kIdKeyOn, FilterId::kKeyOn),
      FilterCase(kIdVelocityZeroKeyOff, FilterId::kVelocityZeroKeyOff),
      FilterCase(kIdKeyPressure, FilterId::kKeyPressure),
      FilterCase(kIdControlChange, FilterId::kControlChange),
      FilterCase(kIdProgramChange, FilterId::kProgramChange),
      FilterCase(kIdChannelPressure, FilterId::kChannelPressure),
      FilterCase(kIdPitchBend, FilterId::kPitchBend),
      {Event::kClicked, kIdClearMessage, nullptr,
       [](World& w) {
         EXPECT_EQ(w.dialog->core().messageBoxList.Count(), 0u);
         EXPECT_THAT(w.Rows(kIdMessageBoxList), IsEmpty());
       }},
      {Event::kClicked, kIdCopyMessage, nullptr,
       [](World&) {
         EXPECT_EQ(QGuiApplication::clipboard()->text(),
                   "item   0: midiInOpen            The specified command was carried out.\r\n"
                   "item   1: midiInStart           The specified command was carried out.\r\n"
                   "item   2: midiInPrepareHeader   The specified command was carried out.\r\n"
                   "item   3: midiInAddBuffer       The specified command was carried out.\r\n"
                   "item   4: this software is a sophiticated MIDI input monitor\r\n"
                   "item   5: it automaticly opens the first MIDI in port it sees\r\n"
                   "item   6: the input port can be changed\r\n"
                   "item   7: the stream displayed in the can be qualified by clicking the "
                   "filter buttons up top\r\n"
                   "item   8: good luck\r\n");
       }},
      {Event::kClicked, kIdCopyMidiMessage, [](World& w) { NoteOnShown(w); },
       [](World&) {
         EXPECT_EQ(QGuiApplication::clipboard()->text(),
                   QString("item   0: ") + kNoteOnAt1500 + "\r\n");
       }},
      {Event::kClicked, kIdCopyStatistics, [](World& w) { w.Click(kIdUpdateAll); },
       [](World&) {
         const QStringList items = QGuiApplication::clipboard()->text().split("\r\n");
         ASSERT_EQ(items.size(), 9);  // eight rows, each ended, then nothing
         const char* starts[] = {
             "item   0: CHN_NOTE_OFF        ____ ", "item   1: CHN_NOTE_ON          ____ ",
             "item   2: CHN_KEY_PRESS      ____ ",  "item   3: CHN_CNTL_CHNG     ____ ",
             "item   4: CHN_PROG_CHNG    ____ ",    "item   5: CHN_CHN_PRESS     ____ ",
             "item   6: CHN_PITCH_BEND    ____ ",   "item   7: SYSEX DATA             "};
         for (int i = 0; i < 8; ++i) EXPECT_TRUE(items[i].startsWith(starts[i])) << i;
         EXPECT_EQ(items[8], "");
       }},
      {Event::kClicked, kIdCopySysex,
       [](World& w) { w.dialog->core().sysexList.AppendLine("Demo device ready"); },
       [](World&) {
         EXPECT_EQ(QGuiApplication::clipboard()->text(), "item   0: Demo device ready\r\n");
       }},
      {Event::kClicked, kIdOk, nullptr, [](World& w) { ShutDownAndClosed(w, QDialog::Accepted); }},
      {Event::kClicked, kIdCancel, nullptr,
       [](World& w) { ShutDownAndClosed(w, QDialog::Rejected); }},
  };
}

// Makes the row's event happen the way it does in use.
void Trigger(World& w, Event event, int id) {
  switch (event) {
    case Event::kClicked: {
      QAbstractButton* button = Button(*w.dialog, id);
      ASSERT_NE(button, nullptr);
      // The port operation buttons are disabled, but their bindings stand.
      button->setEnabled(true);
      button->click();
      break;
    }
    case Event::kTimer:
      QTest::qWait(3 * kTimerPeriodMs + 50);
      break;
    case Event::kSysCommand:
      QTimer::singleShot(0, [&w] {
        QWidget* box = QApplication::activeModalWidget();
        if (box == nullptr || box == w.dialog.get()) return;
        w.aboutSeen << box->windowTitle();
        box->close();
      });
      ASSERT_NE(w.dialog->AboutAction(), nullptr);
      w.dialog->AboutAction()->trigger();
      break;
  }
}

TEST(BindingTableTest, EveryRowDoesWhatItsControlIsFor) {
  const std::vector<RowCase> cases = Cases();
  std::set<std::pair<Event, int>> rows;
  for (const CMonitorDlg::Binding& row : CMonitorDlg::Bindings()) {
    EXPECT_TRUE(rows.insert({row.event, row.id}).second) << "bound twice: " << row.id;
  }
  std::set<std::pair<Event, int>> covered;
  for (const RowCase& c : cases) covered.insert({c.event, c.id});
  EXPECT_EQ(rows, covered) << "rows and cases differ";
  EXPECT_EQ(cases.size(), covered.size());

  for (const RowCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "row " << static_cast<int>(c.event) << "/" << c.id);
    World world;
    ASSERT_NE(world.dialog, nullptr);
    if (c.before) c.before(world);
    Trigger(world, c.event, c.id);
    c.check(world);
  }
}

TEST(BindingTableTest, TheTableCoversEveryButtonOfTheTemplate) {
  std::set<int> bound;
  for (const CMonitorDlg::Binding& row : CMonitorDlg::Bindings()) {
    if (row.event == Event::kClicked) bound.insert(row.id);
  }
  std::set<int> buttons;
  for (const ControlTemplate& c : kMonitorDialogTemplate.controls) {
    if (c.kind == ControlKind::kButton || c.kind == ControlKind::kDefaultButton ||
        c.kind == ControlKind::kToggle) {
      buttons.insert(c.id);
    }
  }
  EXPECT_EQ(bound, buttons);
}

}  // namespace
}  // namespace tessaly
