#include "shell/monitor_menu.h"

#include <QAction>
#include <QFile>
#include <QFileDialog>
#include <QKeySequence>

#include "shell/monitor_dlg.h"
#include "shell/save_lists.h"

namespace tessaly {

MonitorMenu::MonitorMenu(CMonitorDlg& dialog)
    : QObject(&dialog),
      dialog_(dialog),
      pause_(new QAction(QStringLiteral("&Pause views"), &dialog)),
      save_(new QAction(QStringLiteral("&Save lists..."), &dialog)),
      replay_(new QAction(QStringLiteral("&Replay file..."), &dialog)) {
  pause_->setCheckable(true);
  pause_->setShortcuts({QKeySequence(Qt::Key_Pause), QKeySequence(Qt::CTRL | Qt::Key_P)});
  pause_->setShortcutContext(Qt::WindowShortcut);
  connect(pause_, &QAction::toggled, this, [this](bool paused) { dialog_.SetPaused(paused); });
  connect(save_, &QAction::triggered, this, [this] { ChooseFolderAndSave(); });
  dialog.addAction(pause_);
  connect(replay_, &QAction::triggered, this, [this] { ChooseFileAndReplay(); });
  dialog.addAction(save_);
  dialog.addAction(replay_);
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

}  // namespace tessaly
