#include "shell/monitor_menu.h"

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QKeySequence>

#include "shell/monitor_dlg.h"
#include "shell/save_lists.h"
#include "shell/window_recording.h"

namespace tessaly {

MonitorMenu::MonitorMenu(CMonitorDlg& dialog)
    : QObject(&dialog),
      dialog_(dialog),
      pause_(new QAction(QStringLiteral("&Pause views"), &dialog)),
      save_(new QAction(QStringLiteral("&Save lists..."), &dialog)),
      replay_(new QAction(QStringLiteral("&Replay file..."), &dialog)),
record_(new QAction(QStringLiteral("&Record..."), &dialog)),
      recording_(new WindowRecording(
          dialog.service(),
          [this](const std::string& line) {
            dialog_.core().messageBoxList.AppendLine(line);
            dialog_.ShowNewLines();
          },
          [this] {
            record_->setText(recording_->Active() ? QStringLiteral("Stop &recording")
                                                  : QStringLiteral("&Record..."));
          },
          this)) {
  pause_->setCheckable(true);
  pause_->setShortcuts({QKeySequence(Qt::Key_Pause), QKeySequence(Qt::CTRL | Qt::Key_P)});
  pause_->setShortcutContext(Qt::WindowShortcut);
  connect(pause_, &QAction::toggled, this, [this](bool paused) { dialog_.SetPaused(paused); });
  connect(save_, &QAction::triggered, this, [this] { ChooseFolderAndSave(); });
  connect(record_, &QAction::triggered, this, [this] {
    if (recording_->Active()) {
      recording_->Stop();
    } else {
      ChooseFileAndRecord();
    }
  });
  dialog.addAction(pause_);
  connect(replay_, &QAction::triggered, this, [this] { ChooseFileAndReplay(); });
  dialog.addAction(save_);
  dialog.addAction(replay_);
  dialog.addAction(record_);
  dialog.setContextMenuPolicy(Qt::ActionsContextMenu);
}

void MonitorMenu::ChooseFolderAndSave() {
  const QString dir = QFileDialog::getExistingDirectory(&dialog_, QStringLiteral("Save lists"));
  if (!dir.isEmpty()) SaveListsTo(dir);
}

void MonitorMenu::ChooseFileAndReplay() {
  const QString file = QFileDialog::getOpenFileName(
      &dialog_, QStringLiteral("Replay file"), QString(),
      QStringLiteral("Capture files (*.txt *.mid *.syx);;All files (*)"));
  if (!file.isEmpty()) dialog_.ReplayFile(QFile::encodeName(file).toStdString());
}

void MonitorMenu::SaveListsTo(const QString& dir) {
  const SaveListsResult result = SaveLists(dialog_.core(), dir.toStdString());
  dialog_.core().messageBoxList.AppendLine(result.message);
  dialog_.ShowNewLines();
}

void MonitorMenu::ChooseFileAndRecord() {
  QFileDialog chooser(&dialog_, QStringLiteral("Record"));
  chooser.setAcceptMode(QFileDialog::AcceptSave);
  chooser.setNameFilters({QStringLiteral("Capture log (*.txt)"),
                          QStringLiteral("Standard MIDI File (*.mid)"),
                          QStringLiteral("System exclusive (*.syx)")});
  // A name without an ending records the capture log.
  chooser.setDefaultSuffix(QStringLiteral("txt"));
  if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return;
  RecordTo(chooser.selectedFiles().front());
}

void MonitorMenu::RecordTo(const QString& file) {
  recording_->Start(file.toStdString());
}

void MonitorMenu::AdoptRecording(std::unique_ptr<Recorder> recorder, const std::string& file) {
  recording_->Adopt(std::move(recorder), file);
}

void MonitorMenu::EndRecording() {
  recording_->Stop(/*alsoOnStderr=*/true);
}

}  // namespace tessaly
