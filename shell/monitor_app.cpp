#include "shell/monitor_app.h"

#include "shell/app_icon.h"
#include "shell/monitor_dlg.h"
#include "shell/version.h"

namespace tessaly {

CMonitorApp::CMonitorApp(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QStringLiteral("tessaly"));
  setApplicationVersion(QString::fromLatin1(kVersion));
  // Lets a Wayland compositor match the window to the desktop entry and its icon.
  setDesktopFileName(QStringLiteral("tessaly"));
  setWindowIcon(AppIcon());
}

int CMonitorApp::InitInstance(MidiInputService& service) {
  CMonitorDlg dialog(service);
  dialog.exec();
  return 0;
}

}  // namespace tessaly
