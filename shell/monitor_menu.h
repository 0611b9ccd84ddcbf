#pragma once

#include <QObject>
#include <QString>

class QAction;

// The context-menu entries that keep what the window saw, beside the about entry: pause, save
// the lists, and replay a capture file. Owned by the dialog. Window thread only.
namespace tessaly {

class CMonitorDlg;

class MonitorMenu : public QObject {
  Q_OBJECT

 public:
  explicit MonitorMenu(CMonitorDlg& dialog);

  // Checkable; Pause (the key named for it) or Ctrl+P. Space stays with the dialog's buttons:
  // it is how a keyboard user presses the focused one.
  QAction* PauseAction() const { return pause_; }
  QAction* SaveAction() const { return save_; }
  QAction* ReplayAction() const { return replay_; }
  // What the save entry does once a folder is chosen: the four files, and a status line in
  // MessageBoxList that says where (or why not).
  void SaveListsTo(const QString& dir);

 private:
  void ChooseFolderAndSave();
  void ChooseFileAndReplay();

  CMonitorDlg& dialog_;
  QAction* pause_;
  QAction* save_;
  QAction* replay_;
};

}  // namespace tessaly
