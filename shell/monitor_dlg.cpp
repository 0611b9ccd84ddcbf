#include "shell/monitor_dlg.h"

#include <QSocketNotifier>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <string>

#include "display/list_copy.h"
#include "display/status_statistics.h"
#include "shell/about_dlg.h"
#include "shell/app_icon.h"
#include "shell/dialog_layout.h"
#include "shell/dialog_units.h"
#include "shell/line_display.h"
#include "shell/monitor_menu.h"
#include "shell/output_list_view.h"

namespace tessaly {
namespace {

struct FilterButton {
  int id;
  FilterId filter;
};

constexpr FilterButton kFilterButtons[] = {
    {kIdKeyOff, FilterId::kKeyOff},
    {kIdKeyOn, FilterId::kKeyOn},
    {kIdVelocityZeroKeyOff, FilterId::kVelocityZeroKeyOff},
    {kIdKeyPressure, FilterId::kKeyPressure},
    {kIdControlChange, FilterId::kControlChange},
    {kIdProgramChange, FilterId::kProgramChange},
    {kIdChannelPressure, FilterId::kChannelPressure},
    {kIdPitchBend, FilterId::kPitchBend},
};

// The four list controls and the lists they show.
struct ListControl {
  int id;
  OutputList MonitorCore::*list;
};

constexpr ListControl kListControls[] = {
    {kIdMessageBoxList, &MonitorCore::messageBoxList},
    {kIdBasicMessageList, &MonitorCore::basicMessageList},
    {kIdStatisticsList, &MonitorCore::statisticsList},
    {kIdSysexList, &MonitorCore::sysexList},
};

// The dialog font: the desktop's own face at the template's size.
QFont DialogFont(int pointSize) {
  QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  font.setPointSize(pointSize);
  return font;
}

// A statistics row while its counts stay below 10 000: the longest row name, sixteen cells.
int StatisticsRowLength() {
  size_t name = 0;
  for (std::string_view row : kStatisticsRowNames) name = std::max(name, row.size());
  return static_cast<int>(name + 16 * std::string_view(" ____ ").size());
}

void SetTextIfChanged(QWidget* edit, const QString& text) {
  // Refreshes come ten times a second: leave an unchanged box alone, so a selection in it
  // survives.
  auto* line = static_cast<QLineEdit*>(edit);
  if (line->text() != text) line->setText(text);
}

}  // namespace

CMonitorDlg::CMonitorDlg(MidiInputService& service, uint32_t startPort, QWidget* parent)
    : QDialog(parent), service_(service), core_(service) {
  // A dialog frame with a title and a close box; no minimise or maximise box.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setWindowTitle(QString::fromLatin1(kMonitorDialogTemplate.title));
  setWindowIcon(AppIcon());
  setFont(DialogFont(kMonitorDialogTemplate.fontPointSize));
  CreateControls();
  core_.SetView(this);
  Bind();
  OnInitDialog(startPort);
}

CMonitorDlg::~CMonitorDlg() {
  // Every way out closes the port before the capture state goes with core_: the input thread
  // may call the callback with that state for as long as the port is open.
  EndCapture();
  core_.SetView(nullptr);
}

void CMonitorDlg::CreateControls() {
  const DialogBaseUnits units = BaseUnitsOf(font());
  // The template's size is the first and the smallest; a larger window gives the lists room.
  templateSize_ = MapDialogSize(kMonitorDialogTemplate.width, kMonitorDialogTemplate.height, units);
  setMinimumSize(templateSize_);
  resize(templateSize_);

  // Created in template order: that is the tab order, and later controls lie above earlier
  // ones (the filter toggles above their group box).
  for (const ControlTemplate& c : kMonitorDialogTemplate.controls) {
    const QString caption = QString::fromLatin1(c.caption);
    QWidget* widget = nullptr;
    switch (c.kind) {
      case ControlKind::kDefaultButton:
      case ControlKind::kButton:
      case ControlKind::kToggle: {
        auto* button = new QPushButton(caption, this);
        button->setAutoDefault(false);
        button->setDefault(c.kind == ControlKind::kDefaultButton);
        // The toggle's pressed look follows its filter flag (see UpdateViews).
        button->setCheckable(c.kind == ControlKind::kToggle);
        widget = button;
        break;
      }
      case ControlKind::kEdit: {
        // The boxes only show the monitor's fields; nothing typed is ever read.
        auto* edit = new QLineEdit(this);
        edit->setReadOnly(true);
        widget = edit;
        break;
      }
      case ControlKind::kList: {
        const auto shown = std::ranges::find(kListControls, c.id, &ListControl::id);
        widget = new OutputListView(core_.*(shown->list), this);
        break;
      }
      case ControlKind::kGroupBox:
        widget = new QGroupBox(caption, this);
        break;
      case ControlKind::kLabel: {
        auto* label = new QLabel(caption, this);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        widget = label;
        break;
      }
      case ControlKind::kIcon:
        break;
    }
    if (widget == nullptr) continue;
    widget->setGeometry(MapDialogRect(c.rect, units));
    placed_.push_back({widget, &c, widget->geometry()});
    widget->setEnabled((c.style & kDisabled) == 0);
    if (c.id != kIdStatic) {
      widget->setObjectName(QStringLiteral("control%1").arg(c.id));
      controls_[c.id] = widget;
    }
  }

  // One fixed-pitch font for the four lists, at the dialog's size or smaller so that a whole
  // statistics row fits its window.
  const QFont fixed =
      OutputListView::FittingFont(kMonitorDialogTemplate.fontPointSize, StatisticsRowLength(),
                                  ListView(kIdStatisticsList)->TextWidth());
  for (const ListControl& l : kListControls) ListView(l.id)->setFont(fixed);
  // Sysex lines are never marked as newest; the view follows its last line instead.
  ListView(kIdSysexList)->SetFollowsLastLine(true);

  // The group's title sits on its frame, as on the template, clear of the toggles inside.
  Control(kIdFilterGroup)
      ->setStyleSheet(QStringLiteral(
          "QGroupBox { border: 1px solid palette(mid); border-radius: 3px; margin-top: 0.5em; }"
          "QGroupBox::title { subcontrol-origin: margin; left: 0.6em; padding: 0 0.2em; }"));
}

void CMonitorDlg::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  const QSize extra = size() - templateSize_;
  for (const Placed& p : placed_) p.widget->setGeometry(StretchedRect(*p.control, p.base, extra));
}

void CMonitorDlg::Bind() {
  if (!kAboutMenuText.empty()) {
    // A Linux window manager owns the window menu: the about entry lives in the dialog's
    // context menu, and F1 reaches it too.
    aboutAction_ = new QAction(QString::fromLatin1(kAboutMenuText), this);
    aboutAction_->setShortcut(QKeySequence(Qt::Key_F1));
    aboutAction_->setShortcutContext(Qt::WindowShortcut);
    addAction(aboutAction_);
    setContextMenuPolicy(Qt::ActionsContextMenu);
    connect(aboutAction_, &QAction::triggered, this, [this] { SysCommand(kIdmAboutBox); });
  }
  menu_ = new MonitorMenu(*this);
  for (const Binding& binding : Bindings()) {
    switch (binding.event) {
      case Event::kClicked:
        if (auto* button = qobject_cast<QAbstractButton*>(Control(binding.id))) {
          connect(button, &QAbstractButton::clicked, this, [this, &binding] { Dispatch(binding); });
        }
        break;
      case Event::kTimer:
        connect(&timer_, &QTimer::timeout, this, [this, &binding] { Dispatch(binding); });
        // The capture asks for an early drain when a queue passes half full: the timer's row
        // runs then too, so a burst of more than one tick's worth is taken in time.
        if (const int fd = core_.capture().drainWake.fd(); fd >= 0) {
          earlyDrain_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
          connect(earlyDrain_, &QSocketNotifier::activated, this,
                  [this, &binding] { DispatchEarlyDrain(binding); });
        }
        break;
      case Event::kSysCommand:
        break;  // SysCommand looks the command up when it comes
    }
  }
}

void CMonitorDlg::Dispatch(const Binding& binding) {
  (this->*binding.handler)();
  UpdateViews();
}

void CMonitorDlg::DispatchEarlyDrain(const Binding& binding) {
  (this->*binding.handler)();
  // In a flood the early drains come hundreds of times a second. Laying out and painting the
  // lists each time would cost the window thread far more than the drain and leave it too
  // busy to drain in time; the views take up the new lines at most once a timer period (the
  // timer's own ticks always do), which is as often as they would change without the flood.
  if (!sinceViewsUpdated_.isValid() || sinceViewsUpdated_.elapsed() >= kTimerPeriodMs) {
    UpdateViews();
  }
}

void CMonitorDlg::Run(Event event, int id) {
  for (const Binding& binding : Bindings()) {
    if (binding.event == event && binding.id == id) {
      Dispatch(binding);
      return;
    }
  }
}

void CMonitorDlg::SysCommand(unsigned command) {
  Run(Event::kSysCommand, static_cast<int>(command & 0xFFF0u));
}

void CMonitorDlg::OnInitDialog(uint32_t startPort) {
  // The start port is chosen before anything opens, so the first open is of that port and no
  // other. Then ReopenPort, the help lines, a refresh. The timer cannot tick before the event
  // loop runs, so starting it after the help lines changes nothing.
  if (startPort != 0) core_.ports().SelectPort(startPort);
  core_.Start();
  // An application that ends its event loop (a session logout, quit()) leaves by no button:
  // the port is closed then, while the input thread can still be told to stop.
  connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { EndCapture(); });
  timer_.start(kTimerPeriodMs);
  UpdateViews();
}

void CMonitorDlg::accept() {
  Run(Event::kClicked, kIdOk);
}
void CMonitorDlg::reject() {
  Run(Event::kClicked, kIdCancel);
}

// The window ends here: its timer with it, so nothing drains after the port is shut down.
void CMonitorDlg::OnOK() {
  EndCapture();
  QDialog::accept();
}

void CMonitorDlg::OnCancel() {
  EndCapture();
  QDialog::reject();
}

void CMonitorDlg::EndCapture() {
  if (ended_) return;
  ended_ = true;
  core_.Shutdown();
  if (menu_ != nullptr) menu_->EndRecording();
  timer_.stop();
  if (earlyDrain_ != nullptr) earlyDrain_->setEnabled(false);
}

void CMonitorDlg::OnAboutBox() {
  CAboutDlg about(this);
  about.exec();
}

void CMonitorDlg::OnTimer() {
  core_.DrainAndDisplay();
}
void CMonitorDlg::OnUpdateAllWindows() {
  core_.DrainAndDisplay();
}

void CMonitorDlg::UpdateViews() {
  sinceViewsUpdated_.start();
  for (const ListControl& l : kListControls) ListView(l.id)->Sync();
  for (const FilterButton& f : kFilterButtons) {
    static_cast<QAbstractButton*>(Control(f.id))->setChecked(core_.filters().Flag(f.filter) != 0);
  }
}

void CMonitorDlg::ReplayFile(const std::string& path) {
  const std::optional<uint32_t> port = replayer_ ? replayer_(path) : std::nullopt;
  if (!port) {
    core_.messageBoxList.AppendLine("replay " + path + ": no port can replay it");
  } else {
    core_.ports().ShutdownPort();
    core_.ports().SelectPort(*port);
    core_.ports().ReopenPort();
  }
  UpdateViews();
}

void CMonitorDlg::SetPaused(bool paused) {
  paused_ = paused;
  for (const ListControl& l : kListControls) ListView(l.id)->SetPaused(paused);
  const QString title = QString::fromLatin1(kMonitorDialogTemplate.title);
  setWindowTitle(paused ? title + QStringLiteral(" (paused)") : title);
}

void CMonitorDlg::Refresh() {
  const PortControl& ports = core_.ports();
  // Ten times a second, nearly always unchanged: compare the fields before making any text.
  if (shownPort_ && shownPort_->name == ports.portName() &&
      shownPort_->openStatus == ports.openStatus() && shownPort_->index == ports.portIndex() &&
      shownPort_->count == ports.portCount()) {
    return;
  }
  shownPort_ =
      ShownPort{ports.portName(), ports.openStatus(), ports.portIndex(), ports.portCount()};
  SetTextIfChanged(Control(kIdPortName), DisplayName(ports.portName()));
  SetTextIfChanged(Control(kIdOpenStatus), QString::number(ports.openStatus()));
  SetTextIfChanged(Control(kIdPortIndex), QString::number(ports.portIndex()));
  SetTextIfChanged(Control(kIdPortCount), QString::number(ports.portCount()));
}

void CMonitorDlg::CopyListToClipboard(const OutputList& list) {
  // Lines are 8-bit text; each byte becomes the character of the same code.
  const std::string text = CopyListText(list);
  QGuiApplication::clipboard()->setText(
      QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

QWidget* CMonitorDlg::Control(int id) const {
  const auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

OutputListView* CMonitorDlg::ListView(int id) const {
  return qobject_cast<OutputListView*>(Control(id));
}

}  // namespace tessaly
