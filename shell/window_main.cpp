#include "shell/window_main.h"

#include "shell/monitor_app.h"

namespace tessaly {

int RunWindow(int argc, char** argv, MidiInputService& service) {
  CMonitorApp app(argc, argv);
  return app.InitInstance(service);
}

}  // namespace tessaly
