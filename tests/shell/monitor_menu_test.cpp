// The context-menu entries beside the about entry: pause the views, save the lists, record.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QScrollBar>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "capture/file_backend.h"
#include "capture/midi_constants.h"
#include "capture/queued_input_service.h"
#include "display/list_copy.h"
#include "shell/dialog_template.h"
#include "shell/monitor_menu.h"
#include "shell/window_recording.h"
#include "tests/support/file_text.h"
#include "window_test_support.h"

namespace tessaly {
namespace {

using namespace tessaly::test;

constexpr int kLists[] = {kIdMessageBoxList, kIdBasicMessageList, kIdStatisticsList, kIdSysexList};

class MonitorMenuTest : public DialogTest {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    if (HasFatalFailure()) return;
    menu = dialog->findChild<MonitorMenu*>();
    ASSERT_NE(menu, nullptr);
  }
  // Notes and a text sysex, and waits until the lists hold them.
  void Play(uint32_t from, uint32_t notes) {
    const size_t before = dialog->core().basicMessageList.Count();
    for (uint32_t i = 0; i < notes; ++i) service.DeliverShort(Short(0x90, 60, 100), from + i);
    service.SendSysex({0xF0, 0x09, 0x11, 'h', 'i', 0xF7}, from + notes);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return dialog->core().basicMessageList.Count() == before + notes; }, 3000));
  }

  MonitorMenu* menu = nullptr;
};

TEST_F(MonitorMenuTest, EntriesSitBesideTheAboutEntry) {
  const QList<QAction*> actions = dialog->actions();
  ASSERT_GE(actions.size(), 4);
  EXPECT_EQ(actions[0], dialog->AboutAction());
  EXPECT_EQ(actions[1]->text(), "&Pause views");
  EXPECT_EQ(actions[2]->text(), "&Save lists...");
  EXPECT_EQ(actions[3], menu->ReplayAction());
  EXPECT_EQ(actions[3]->text(), "&Replay file...");
  EXPECT_EQ(actions[4]->text(), "&Record...");
  EXPECT_EQ(dialog->contextMenuPolicy(), Qt::ActionsContextMenu);
}

// By the entry and by each of its keys: the views stop moving, the lists go on, nothing is lost;
// resuming shows everything, scrolled to the newest line.
TEST_F(MonitorMenuTest, PauseFreezesTheViewsAndLosesNothing) {
  const std::function<void()> ways[] = {
      [&] { menu->PauseAction()->trigger(); },
      [&] { QTest::keyClick(dialog.get(), Qt::Key_Pause); },
      [&] { QTest::keyClick(dialog.get(), Qt::Key_P, Qt::ControlModifier); },
  };
  uint32_t time = 1000;
  for (const auto& toggle : ways) {
    SCOPED_TRACE(static_cast<int>(&toggle - ways));
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    Play(time, 5);
    time += 100;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          return ViewRows(*dialog, kIdBasicMessageList).size() ==
                 dialog->core().basicMessageList.Count();
        },
        2000));
    std::vector<QString> shown[4];
    for (int i = 0; i < 4; ++i) shown[i] = ViewRows(*dialog, kLists[i]);

    toggle();
    ASSERT_TRUE(dialog->Paused());
    EXPECT_EQ(dialog->windowTitle(), "Tessaly (paused)");
    Play(time, 300);
    time += 1000;
    QTest::qWait(300);  // timer ticks while paused
    for (int i = 0; i < 4; ++i) EXPECT_EQ(ViewRows(*dialog, kLists[i]), shown[i]) << i;
    EXPECT_GT(dialog->core().basicMessageList.Count(), shown[1].size() + 299);

    toggle();
    ASSERT_FALSE(dialog->Paused());
    EXPECT_EQ(dialog->windowTitle(), "Tessaly");
    for (int i = 0; i < 4; ++i) {
      const std::vector<std::string> lines = Lines(i == 0   ? dialog->core().messageBoxList
                                                   : i == 1 ? dialog->core().basicMessageList
                                                   : i == 2 ? dialog->core().statisticsList
                                                            : dialog->core().sysexList);
      std::vector<QString> expected;
      for (const std::string& line : lines) expected.push_back(Latin1(line));
      EXPECT_EQ(ViewRows(*dialog, kLists[i]), expected) << i;
    }
    auto* view = dialog->ListView(kIdBasicMessageList);
    EXPECT_TRUE(view->Following());
    EXPECT_EQ(view->verticalScrollBar()->value(), view->verticalScrollBar()->maximum());
    EXPECT_EQ(dialog->core().capture().statusCounters.Get(kCountEventsLost), 0u);
  }
}

TEST_F(MonitorMenuTest, SaveWritesTheClipboardTextOfEachListAndSaysWhere) {
  Play(1500, 3);
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("tessaly-window-save-" + std::to_string(getpid()));
  std::filesystem::remove_all(dir);
  MonitorCore& core = dialog->core();
  const std::string expected[] = {CopyListText(core.messageBoxList),
                                  CopyListText(core.basicMessageList),
                                  CopyListText(core.statisticsList), CopyListText(core.sysexList)};
  menu->SaveListsTo(QString::fromStdString(dir.string()));
  const char* files[] = {"MessageBoxList.txt", "BasicMessageList.txt", "StatisticsList.txt",
                         "SysexList.txt"};
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(testing::ReadFileText(dir / files[i]), expected[i]) << files[i];
  EXPECT_EQ(Lines(core.messageBoxList).back(), "lists saved to " + dir.string());
  menu->SaveListsTo(QStringLiteral("/proc/none/x"));
  EXPECT_EQ(Lines(core.messageBoxList).back(),
            "lists not saved: /proc/none/x: No such file or directory");
  std::filesystem::remove_all(dir);
}

// The replay entry's file, chosen (the file dialog stands aside): the open port is shut down
// and the file's port opened, its events shown in the lists; a second file replaces the first.
// On a service of the file backend alone, as the program's own service lists it.
TEST(MonitorMenuReplayTest, AChosenFileIsReplayedInTheWindow) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("tessaly-menu-replay-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string first = (dir / "first.txt").string();
  const std::string second = (dir / "second.txt").string();
  std::ofstream(first) << "tessaly capture log 1\n100000 port A\n1100000 data 90 3c 64\n";
  std::ofstream(second) << "tessaly capture log 1\n100000 data c0 05\nbad\n";
  std::vector<std::unique_ptr<PortBackend>> backends;
  auto owned = std::make_unique<FileBackend>(true);
  FileBackend& files = *owned;
  backends.push_back(std::move(owned));
  QueuedInputService service(std::move(backends));
  CMonitorDlg dialog(service);
  dialog.SetReplayer([&](const std::string& path) {
    files.SetFile(path);
    return service.PlaceOf(&files, 0);
  });
  dialog.show();
  auto shows = [&](const OutputList& list, const std::string& line) {
    return QTest::qWaitFor(
        [&] {
          const std::vector<std::string> lines = Lines(list);
          return std::find(lines.begin(), lines.end(), line) != lines.end();
        },
        5000);
  };
  struct Replay {
    const std::string& file;
    const char* port;
    const char* line;
    std::string end;
  };
  const Replay replays[] = {
      {first, "first.txt", " Time.0..00:00:00.001- 643C90 Chan 01 NOTE_ON        # 060 ,Vel 100 , ",
       ": end of the file, 2 events"},
      {second, "second.txt", " Time.0..00:00:00.000- 0005C0 Chan 01 PROG_CHNG   # 005 ",
       ": line 3: no time in nanoseconds"},
  };
  for (const Replay& r : replays) {
    dialog.ReplayFile(r.file);
    EXPECT_EQ(dialog.core().ports().portName(), r.port);
    EXPECT_TRUE(shows(dialog.core().basicMessageList, r.line)) << r.port;
    EXPECT_TRUE(shows(dialog.core().messageBoxList, "replay " + r.file + r.end)) << r.port;
  }
  const std::vector<std::string> messages = Lines(dialog.core().messageBoxList);
  EXPECT_NE(std::find(messages.begin(), messages.end(), StatusLine(kCloseLabel)), messages.end());
  dialog.reject();
  std::filesystem::remove_all(dir);
}

// Two ports the test plays into, on the real service (the fake one cannot be recorded).
class TwoPortBackend : public PortBackend {
 public:
  std::vector<PortListing> ListPorts() override {
    return {{"JACK: keys", PortGroup::kProgram}, {"JACK: pads", PortGroup::kProgram}};
  }
  MidiResult Open(size_t, InputDelivery& target, std::unique_ptr<InputSource>& source) override {
    delivery = &target;
    source = std::make_unique<InputSource>();
    return kNoError;
  }
  InputDelivery* delivery = nullptr;
};

// From the entry's point of view: what the status lines say, what the entry then reads, and
// what the file holds (the port open when it started, a port opened after, their notes).
TEST(MonitorMenuRecordTest, RecordsTheOpenPortAndThoseAfterUntilStoppedOrTheDiskIsFull) {
  const std::string file = (std::filesystem::temp_directory_path() /
                            ("tessaly-window-record-" + std::to_string(getpid()) + ".txt"))
                               .string();
  struct Case {
    const char* name;
    std::string file;
    bool stopByEntry;                 // else it stops by itself
    std::vector<std::string> lines;   // the status lines, after "recording to FILE"
    std::vector<std::string> logged;  // the file's lines, times left out
  };
  const Case cases[] = {
      {"stopped from the entry",
       file,
       true,
       {"recording stopped: 4 events in " + file},
       {"port JACK: keys", "data 90 3c 64", "port JACK: pads", "data 90 3d 64"}},
      {"a full disk stops it, and says so when it happens",
       "/dev/full",
       false,
       {"recording stopped early: No space left on device; 0 events in /dev/full"},
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto owned = std::make_unique<TwoPortBackend>();
    TwoPortBackend* backend = owned.get();
    std::vector<std::unique_ptr<PortBackend>> backends;
    backends.push_back(std::move(owned));
    QueuedInputService service(std::move(backends));
    CMonitorDlg dialog(service);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    MonitorCore& core = dialog.core();
    MonitorMenu& menu = dialog.Menu();
    const size_t before = core.messageBoxList.Count();

    menu.RecordTo(QString::fromStdString(c.file));
    EXPECT_EQ(Lines(core.messageBoxList).back(), "recording to " + c.file);
    EXPECT_EQ(menu.RecordAction()->text(), "Stop &recording");
    if (c.stopByEntry) {
      const uint8_t first[3] = {0x90, 0x3C, 0x64};
      backend->delivery->Receive(first, 3);
      ASSERT_TRUE(QTest::qWaitFor([&] { return core.basicMessageList.Count() == 1; }, 3000));
      core.ports().NextPort();
      const uint8_t second[3] = {0x90, 0x3D, 0x64};
      backend->delivery->Receive(second, 3);
      ASSERT_TRUE(QTest::qWaitFor([&] { return core.basicMessageList.Count() == 2; }, 3000));
      menu.RecordAction()->trigger();
    } else {
      ASSERT_TRUE(QTest::qWaitFor([&] { return !menu.Recording().Active(); }, 5000));
    }
    EXPECT_EQ(menu.RecordAction()->text(), "&Record...");
    std::vector<std::string> status;
    const std::vector<std::string> all = Lines(core.messageBoxList);
    for (size_t i = before + 1; i < all.size(); ++i) {
      if (all[i].rfind("recording", 0) == 0) status.push_back(all[i]);
    }
    EXPECT_EQ(status, c.lines);
    if (c.stopByEntry) {
      std::istringstream in(testing::ReadFileText(file));
      std::string line;
      ASSERT_TRUE(std::getline(in, line));
      EXPECT_EQ(line, "tessaly capture log 1");
      std::vector<std::string> logged;
      while (std::getline(in, line)) logged.push_back(line.substr(line.find(' ') + 1));
      EXPECT_EQ(logged, c.logged);
    }
    dialog.reject();
  }
  // A recording still running when the window ends stops with it, and says so.
  {
    QueuedInputService service({});
    CMonitorDlg dialog(service);
    dialog.Menu().RecordTo(QString::fromStdString(file));
    ASSERT_TRUE(dialog.Menu().Recording().Active());
    dialog.reject();
    EXPECT_FALSE(dialog.Menu().Recording().Active());
    EXPECT_EQ(Lines(dialog.core().messageBoxList).back(), "recording stopped: 0 events in " + file);
  }
  std::filesystem::remove(file);
}

// A service that cannot give a tap (the scripted one) says so, and records nothing.
TEST_F(MonitorMenuTest, AServiceWithoutATapSaysItCannotRecord) {
  const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                     ("tessaly-never-" + std::to_string(getpid()) + ".txt");
  std::filesystem::remove(file);
  menu->RecordTo(QString::fromStdString(file.string()));
  EXPECT_EQ(Lines(dialog->core().messageBoxList).back(),
            "cannot record to " + file.string() + ": this input cannot be recorded");
  EXPECT_EQ(menu->RecordAction()->text(), "&Record...");
  EXPECT_FALSE(std::filesystem::exists(file));
}

}  // namespace
}  // namespace tessaly
