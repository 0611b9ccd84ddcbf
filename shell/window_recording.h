#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "capture/midi_input_service.h"
#include "capture/recorder.h"

// The window's recording: started from the context menu (or by --record), it records the open
// port and every port opened after, until it is stopped, stops by itself (a full disk: seen by a
// periodic look, so its line comes when it happens), or the window ends. Every start and stop is
// a status line. Window thread only.
namespace tessaly {

class WindowRecording : public QObject {
  Q_OBJECT

 public:
  // `say`: shows a status line (in MessageBoxList); `changed`: the entry follows Active.
  WindowRecording(MidiInputService& service, std::function<void(const std::string&)> say,
                  std::function<void()> changed, QObject* parent);
  ~WindowRecording() override;

  bool Active() const { return recorder_ != nullptr; }
  // "recording to FILE", or why not.
  void Start(const std::string& file);
  // A recording the command line started (its tap set already).
  void Adopt(std::unique_ptr<Recorder> recorder, const std::string& file);
  // The recorder's stop line. `alsoOnStderr`: the window is ending, where no one reads it.
  void Stop(bool alsoOnStderr = false);

 private:
  MidiInputService& service_;
  std::function<void(const std::string&)> say_;
  std::function<void()> changed_;
  std::unique_ptr<Recorder> recorder_;
  QTimer check_;
};

}  // namespace tessaly
