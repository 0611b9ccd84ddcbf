#pragma once

#include <QApplication>

#include "capture/midi_input_service.h"

// The application: runs the main dialog once, modally, and ends when it closes. There is no
// message loop of its own after the dialog.
namespace tessaly {

class CMonitorApp : public QApplication {
  Q_OBJECT

 public:
  // `argc` must outlive the application (Qt keeps a reference to it).
  CMonitorApp(int& argc, char** argv);

  // Builds the dialog on `service`, runs it, destroys it. Returns the process's exit code.
  int InitInstance(MidiInputService& service);
};

}  // namespace tessaly
