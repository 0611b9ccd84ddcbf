#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <string>

class QAction;

// The context-menu entries that keep what the window saw, beside the about entry: pause, save
// the lists, replay a capture file, record. Owned by the dialog. Window thread only.
namespace tessaly {

class CMonitorDlg;
class Recorder;
class WindowRecording;

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
  // "&Record..." (a save dialog; the file's ending picks the format), or "Stop &recording" while
  // recording.
  QAction* RecordAction() const { return record_; }
  WindowRecording& Recording() const { return *recording_; }
  // What the record entry does once a file is chosen.
  void RecordTo(const QString& file);
  // A recording --record started.
  void AdoptRecording(std::unique_ptr<Recorder> recorder, const std::string& file);
  // The window ends (its port closed): a recording stops, with its line.
  void EndRecording();

 private:
  void ChooseFolderAndSave();
  void ChooseFileAndReplay();
  void ChooseFileAndRecord();

  CMonitorDlg& dialog_;
  QAction* pause_;
  QAction* save_;
  QAction* replay_;
  QAction* record_;
  WindowRecording* recording_;
};

}  // namespace tessaly
