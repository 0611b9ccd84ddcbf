#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "capture/midi_input_service.h"
#include "display/monitor_core.h"
#include "shell/dialog_template.h"

class QAction;
class QSocketNotifier;
class QAbstractButton;
class QLineEdit;

// The main dialog: the controls of template 102, bound to the monitor through one table. It
// is passive: every behaviour is MonitorCore's; the dialog shows the core's fields and lists
// and turns clicks, timer ticks and the about command into calls on it. Window thread only.
namespace tessaly {

class MonitorMenu;
class OutputListView;

class CMonitorDlg : public QDialog, private MonitorView {
  Q_OBJECT

 public:
  enum class Event {
    kClicked,     // a button of that id
    kTimer,       // the drain timer of that id
    kSysCommand,  // a window-menu command of that id
  };
  struct Binding {
    Event event;
    int id;
    void (CMonitorDlg::*handler)();
  };
  // The bindings in the order the dialog connects them.
  static std::span<const Binding> Bindings();

  // Opens `startPort` (0 unless the command line asks for another) as the window starts.
  explicit CMonitorDlg(MidiInputService& service, uint32_t startPort = 0,
                       QWidget* parent = nullptr);
  ~CMonitorDlg() override;

  MonitorCore& core() { return core_; }
  MidiInputService& service() { return service_; }
  // The context-menu entries beside the about entry (the recording among them).
  MonitorMenu& Menu() { return *menu_; }
  QWidget* Control(int id) const;
  OutputListView* ListView(int id) const;
  QAction* AboutAction() const { return aboutAction_; }
  // The 100 ms drain timer (tests stop it to see the early drains alone).
  QTimer& DrainTimer() { return timer_; }

  // Paused, the four views stop moving while capture, lists and statistics go on; the title
  // says so. Resuming shows the newest lines.
  void SetPaused(bool paused);
  bool Paused() const { return paused_; }
  // The views take up the lists' changes now (unless paused).
  void ShowNewLines() { UpdateViews(); }

  // Makes `path` the file replayed as a port and gives that port's place in the list (none:
  // it cannot be replayed). Set by the program on its service.
  using Replayer = std::function<std::optional<uint32_t>(const std::string& path)>;
  void SetReplayer(Replayer replayer) { replayer_ = std::move(replayer); }
  // Replays `path`: the open port shut down, the file's port opened, as Up and Down step; a
  // line in MessageBoxList when there is no replayer.
  void ReplayFile(const std::string& path);

  // A window-menu command: the about box for kIdmAboutBox, nothing otherwise.
  void SysCommand(unsigned command);

  // OK (also Enter), Cancel, Esc and the close box all come here; both shut the port down
  // before the dialog ends.
  void accept() override;
  void reject() override;

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void CreateControls();
  void Bind();
  void Dispatch(const Binding& binding);
  // An early drain: the handler at once, the views at the timer's pace.
  void DispatchEarlyDrain(const Binding& binding);
  // Runs the row bound to (event, id), if any.
  void Run(Event event, int id);
  void OnInitDialog(uint32_t startPort);
  // Lists and filter buttons follow the core after every handler.
  void UpdateViews();
  void Refresh() override;
  void CopyListToClipboard(const OutputList& list);

  // The end of the window, by whatever way: the port shut down once, then the timer and the
  // early drains, so nothing drains after it.
  void EndCapture();
  void OnOK();
  void OnCancel();
  void OnAboutBox();
  void OnTimer();
  void OnUpdateAllWindows();
  void OnOpenPort() { core_.ports().OpenPort(); }
  void OnStartInput() { core_.ports().StartInput(); }
  void OnPrepareHeader() { core_.ports().PrepareHeader(); }
  void OnAddBuffer() { core_.ports().AddBuffer(); }
  void OnStopInput() { core_.ports().StopInput(); }
  void OnResetInput() { core_.ports().ResetInput(); }
  void OnUnprepareBuffer() { core_.ports().UnprepareBuffer(); }
  void OnClosePort() { core_.ports().ClosePort(); }
  void OnNextPort() { core_.ports().NextPort(); }
  void OnPreviousPort() { core_.ports().PreviousPort(); }
  void OnClearSysexWindow() { core_.ClearSysexWindow(); }
  void OnClearMidiMessageWindow() { core_.ClearMidiMessageWindow(); }
  void OnClearStatisticsWindow() { core_.ClearStatisticsWindow(); }
  void OnClearMessageWindow() { core_.ClearMessageWindow(); }
  void OnKeyOff() { core_.ToggleFilter(FilterId::kKeyOff); }
  void OnKeyOn() { core_.ToggleFilter(FilterId::kKeyOn); }
  void OnVelocityZeroKeyOff() { core_.ToggleFilter(FilterId::kVelocityZeroKeyOff); }
  void OnKeyPressure() { core_.ToggleFilter(FilterId::kKeyPressure); }
  void OnControlChange() { core_.ToggleFilter(FilterId::kControlChange); }
  void OnProgramChange() { core_.ToggleFilter(FilterId::kProgramChange); }
  void OnChannelPressure() { core_.ToggleFilter(FilterId::kChannelPressure); }
  void OnPitchBend() { core_.ToggleFilter(FilterId::kPitchBend); }
  void OnCopyMessageWindow() { CopyListToClipboard(core_.messageBoxList); }
  void OnCopyMidiMessageWindow() { CopyListToClipboard(core_.basicMessageList); }
  void OnCopyStatistics() { CopyListToClipboard(core_.statisticsList); }
  void OnCopySysexWindow() { CopyListToClipboard(core_.sysexList); }

  MidiInputService& service_;
  MonitorCore core_;
  MonitorMenu* menu_ = nullptr;
  std::map<int, QWidget*> controls_;
  // Every control with its template row and its place at the template's size.
  struct Placed {
    QWidget* widget;
    const ControlTemplate* control;
    QRect base;
  };
  std::vector<Placed> placed_;
  QSize templateSize_;
  QTimer timer_;
  // Early drains asked for by the capture (null without an eventfd).
  QSocketNotifier* earlyDrain_ = nullptr;
  // Since the list views last took up the lists' changes.
  QElapsedTimer sinceViewsUpdated_;
  bool ended_ = false;
  QAction* aboutAction_ = nullptr;
  // The port fields the edit boxes show.
  struct ShownPort {
    std::string name;
    int32_t openStatus;
    uint32_t index;
    uint32_t count;
  };
  std::optional<ShownPort> shownPort_;
  bool paused_ = false;
  Replayer replayer_;
};

}  // namespace tessaly
